#pragma once

#include <string>

#include "platform/files.h"

namespace korvel {

// Files on a POSIX system: UTF-8 text with LF line ends (CR LF accepted when reading).
class PosixFileSystem final : public FileSystem {
public:
    PosixFileSystem(std::string programFolder, std::string runtimeFolder);

    std::string programFolder() override { return m_programFolder; }
    std::string privateRuntimeFolder() override { return m_runtimeFolder; }
    std::unique_ptr<ByteFile> openByteFile(const std::string& path, FileError& error) override;
    std::unique_ptr<TextAppender> openAppend(const std::string& path, FileError& error) override;
    std::optional<std::string> readFirstLine(const std::string& path) override;
    FileError replaceWithLine(const std::string& path, const std::string& utf8Line) override;
    bool exists(const std::string& path) override;

private:
    std::string m_programFolder;
    std::string m_runtimeFolder;
};

}  // namespace korvel
