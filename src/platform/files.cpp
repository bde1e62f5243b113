#include "platform/files.h"

namespace korvel {

std::string joinPath(const std::string& folder, const std::string& name) {
    // Windows takes '/' as well: a folder written with it is continued the same way.
    char separator = kPathSeparator;
    if (kPathSeparator == '\\' && folder.find('/') != std::string::npos &&
        folder.find('\\') == std::string::npos) {
        separator = '/';
    }
    if (!folder.empty() && folder.back() == separator) {
        return folder + name;
    }
    return folder + separator + name;
}

std::string keeperStateFolder(FileSystem& files) {
    return joinPath(files.siteFolder(), "state");
}

std::string keeperStatusPath(FileSystem& files) {
#ifdef _WIN32
    return joinPath(keeperStateFolder(files), "status");
#else
    (void)files;
    return "/run/korvel-sync/status";
#endif
}

FileError changeLine(FileSystem& files, const std::string& path, const LineChange& change) {
    const std::optional<std::string> line = files.readFirstLine(path);
    const std::string changed = change(line);
    return changed == line.value_or("") ? FileError::None : files.replaceWithLine(path, changed);
}

}  // namespace korvel
