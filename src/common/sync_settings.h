#pragma once

#include <cstdint>
#include <string>

namespace korvel {

// The ranges of the settings panel's interval and limit scroll bars.
inline constexpr int kAutoSyncTenthsMin = 1;
inline constexpr int kAutoSyncTenthsMax = 12;
inline constexpr int kLimitMsMin = 1;
inline constexpr int kLimitMsMax = 9999;

// The settings in effect. Only the server address and the local port persist (in sntp.cfg);
// everything else starts switched off at every launch.
struct SyncSettings {
    bool autoSyncOn = false;
    double autoSyncTenths = 0.0;  // interval in tenths of an hour
    bool limitOn = false;
    double limitMs = 0.0;
    double scheduleStart = 0.0;  // seconds since local midnight
    bool logOn = false;
    std::string logPath;
    std::string cfgPath;
    std::string cfgLine;  // the configuration line as read at start-up
    std::int32_t localPort = 0;
};

}  // namespace korvel
