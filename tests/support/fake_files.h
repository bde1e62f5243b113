#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

namespace korvel::test {

// Files in memory. Text files hold their lines; folders must be made known before files can
// be created in them. Faults are switched on per path or folder.
class FakeFileSystem final : public FileSystem {
public:
    std::string programFolder() override { return programFolderPath; }
    std::string siteFolder() override { return programFolder(); }
    std::string privateRuntimeFolder() override { return runtimeFolderPath; }
    std::string runtimeFolderProblem() override { return runtimeProblem; }
    std::unique_ptr<ByteFile> openByteFile(const std::string& path, FileError& error) override;
    std::unique_ptr<TextAppender> openAppend(const std::string& path, FileError& error) override;
    std::optional<std::string> readFirstLine(const std::string& path) override;
    FileError replaceWithLine(const std::string& path, const std::string& utf8Line) override;
    FileError updateLine(const std::string& path, const LineChange& change) override {
        return changeLine(*this, path, change);
    }
    bool exists(const std::string& path) override;
    void remove(const std::string& path) override;
    std::string userFolder(UserFolder kind, bool create) override;
    bool mayCreateIn(const std::string& folder) override;

    std::string programFolderPath = "/opt/korvel";
    std::string runtimeFolderPath = "/run/user/1000";
    std::string runtimeProblem;
    std::string userConfigPath = "/home/user/.config/korvel";
    std::string userDataPath = "/home/user/.local/share/korvel";
    std::set<std::string> folders{"/", programFolderPath, runtimeFolderPath};
    std::set<std::string> readOnlyFolders;
    std::set<std::string> fullFolders;  // writes into these run out of space
    bool failByteAccess = false;
    // Runs at every read or write of a byte file, e.g. to let the access take time.
    std::function<void()> onByteAccess;

    std::map<std::string, std::vector<std::string>> textFiles;
    std::map<std::string, std::vector<std::uint8_t>> byteFiles;
    int byteFilesOpened = 0;

    std::vector<std::string> lines(const std::string& path) const;

private:
    FileError writable(const std::string& path) const;
};

}  // namespace korvel::test
