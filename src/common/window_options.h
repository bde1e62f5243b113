#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/sync_settings.h"

namespace korvel {

// The window program's command-line options: settings that the panel would otherwise have to
// apply after every start.
struct WindowOptions {
    std::optional<int> autoSyncTenths;   // --auto-sync TENTHS, within the interval's range
    std::optional<int> limitMs;          // --limit MS, within the limit's range, with --auto-sync
    std::optional<std::string> logPath;  // --log PATH, checked when the log is opened
    bool tray = false;                   // --tray
    std::vector<std::string> problems;   // for the user, in the order met
};

// Reads the arguments after the program's name. Each option may also be written
// --option=VALUE. An option with a bad or missing value is left out and told in problems,
// as is any argument that is no option of the window.
WindowOptions parseWindowOptions(const std::vector<std::string>& arguments);

// The options that bring back the settings in effect: each one that is on, and --tray when
// closing leaves the program in the tray.
std::vector<std::string> windowArguments(const SyncSettings& settings, bool closeToTray);

}  // namespace korvel
