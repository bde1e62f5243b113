#include "settings/config_file.h"

#include "common/config_line.h"

namespace korvel {

LoadedConfig loadConfig(FileSystem& files, const std::string& cfgPath) {
    LoadedConfig loaded;
    FileError error = FileError::None;
    // Every start appends the default line; it becomes the first line of a new file.
    if (auto file = files.openAppend(cfgPath, error)) {
        if (!file->appendLine(defaultConfigLine())) {
            error = FileError::DiskFull;
        }
    }
    const auto firstLine = files.readFirstLine(cfgPath);
    // An empty file that the default line never reached (a full disk) has no line to offer.
    const bool usable = firstLine && (error == FileError::None || !firstLine->empty());
    if (usable) {
        loaded.cfgLine = firstTextField(*firstLine);
    } else {
        loaded.cfgLine = defaultConfigLine();
        if (error == FileError::None) {
            error = FileError::Other;
        }
    }
    loaded.error = usable ? FileError::None : error;
    loaded.fields = parseConfigLine(loaded.cfgLine);
    return loaded;
}

namespace {

std::string userConfigFile(FileSystem& files, bool create) {
    const std::string folder = files.userFolder(UserFolder::Config, create);
    return folder.empty() ? std::string() : joinPath(folder, kConfigFileName);
}

}  // namespace

std::string configPathToRead(FileSystem& files) {
    const std::string user = userConfigFile(files, false);
    return !user.empty() && files.exists(user) ? user
                                               : joinPath(files.siteFolder(), kConfigFileName);
}

SavedConfig saveConfig(FileSystem& files, const std::string& addressField,
                       const std::string& portField, const std::vector<std::string>& extraServers) {
    const std::string line = formatConfigLine(addressField, portField, extraServers);
    if (const std::string user = userConfigFile(files, false);
        !user.empty() && files.exists(user)) {
        return {user, files.replaceWithLine(user, line)};
    }
    const std::string site = joinPath(files.siteFolder(), kConfigFileName);
    const FileError siteError = files.replaceWithLine(site, line);
    const std::string created = siteError == FileError::None ? "" : userConfigFile(files, true);
    if (created.empty()) {
        return {site, siteError};
    }
    return {created, files.replaceWithLine(created, line)};
}

}  // namespace korvel
