#pragma once

#include <string>
#include <vector>

#include "common/config_line.h"
#include "platform/files.h"

namespace korvel {

struct LoadedConfig {
    std::string cfgLine;
    ConfigFields fields;
    // Set when sntp.cfg could not be created or read; the default line is used instead.
    FileError error = FileError::None;
};

// Appends the default line (so a missing file is created), then takes the first line.
LoadedConfig loadConfig(FileSystem& files, const std::string& cfgPath);

// The sntp.cfg read: the user's own copy when there is one, else the site file.
std::string configPathToRead(FileSystem& files);

struct SavedConfig {
    std::string path;  // the file written, or tried last
    FileError error = FileError::None;
};

// Replaces sntp.cfg by one line built from the two fields: the user's copy when it exists,
// else the site file, and when that cannot be written a new user's copy. A file that cannot
// be written stays whole.
SavedConfig saveConfig(FileSystem& files, const std::string& addressField,
                       const std::string& portField,
                       const std::vector<std::string>& extraServers = {});

}  // namespace korvel
