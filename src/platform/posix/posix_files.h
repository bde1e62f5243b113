#pragma once

#include <string>

#include "platform/files.h"

namespace korvel {

// The private runtime folder chosen, or why there is none.
struct RuntimeFolder {
    std::string path;
    std::string problem;
};

// preferred (the session's runtime folder) when it is a folder of this user's with mode 0700,
// not a link; else korvel-UID in tempFolder (in /tmp where tempFolder is no absolute path of a
// folder, as from a TMPDIR that names none), made so and checked the same way.
RuntimeFolder choosePrivateFolder(const std::string& preferred, const std::string& tempFolder);

// Files on a POSIX system: UTF-8 text with LF line ends (CR LF accepted when reading).
class PosixFileSystem final : public FileSystem {
public:
    PosixFileSystem(std::string programFolder, RuntimeFolder runtimeFolder);

    std::string programFolder() override { return m_programFolder; }

    std::string siteFolder() override { return programFolder(); }
    std::string privateRuntimeFolder() override { return m_runtimeFolder.path; }
    std::string runtimeFolderProblem() override { return m_runtimeFolder.problem; }
    std::unique_ptr<ByteFile> openByteFile(const std::string& path, FileError& error) override;
    std::unique_ptr<TextAppender> openAppend(const std::string& path, FileError& error) override;
    std::optional<std::string> readFirstLine(const std::string& path) override;
    FileError replaceWithLine(const std::string& path, const std::string& utf8Line) override;
    FileError updateLine(const std::string& path, const LineChange& change) override;
    bool exists(const std::string& path) override;
    void remove(const std::string& path) override;
    std::string userFolder(UserFolder kind, bool create) override;
    bool mayCreateIn(const std::string& folder) override;

private:
    std::string m_programFolder;
    RuntimeFolder m_runtimeFolder;
};

}  // namespace korvel
