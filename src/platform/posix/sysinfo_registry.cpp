#include "platform/posix/sysinfo_registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <utility>

#include "platform/files.h"

namespace korvel {

namespace {

constexpr const char* kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kMsInfoValue = "PATH";
constexpr const char* kDefaultPath = "/usr/local/bin:/usr/bin:/bin";

bool isProgram(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

SysInfoRegistry::SysInfoRegistry(std::vector<std::string> searchFolders)
    : m_searchFolders(std::move(searchFolders)) {}

std::vector<std::string> SysInfoRegistry::foldersOfPath(const char* pathList) {
    std::istringstream list(pathList != nullptr && *pathList != '\0' ? pathList : kDefaultPath);
    std::vector<std::string> folders;
    for (std::string folder; std::getline(list, folder, ':');) {
        // An empty entry means the current folder, which is no place to look for a tool.
        if (!folder.empty()) {
            folders.push_back(folder);
        }
    }
    return folders;
}

std::optional<RegistryValue> SysInfoRegistry::readValue(RegistryRoot root,
                                                        const std::string& keyName,
                                                        const std::string& valueName) {
    if (root != RegistryRoot::LocalMachine || keyName != kMsInfoKey || valueName != kMsInfoValue) {
        return std::nullopt;
    }
    for (const char* program : kSysInfoPrograms) {
        for (const std::string& folder : m_searchFolders) {
            const std::string path = joinPath(folder, program);
            if (isProgram(path)) {
                RegistryValue value{kRegString, {path.begin(), path.end()}};
                value.data.push_back(0);
                return value;
            }
        }
    }
    return std::nullopt;
}

}  // namespace korvel
