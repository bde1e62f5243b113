#pragma once

#include <cstdint>
#include <string>

namespace korvel {

// The settings in effect. Only the server address and the local port persist (in sntp.cfg);
// everything else starts switched off at every launch.
struct SyncSettings {
    bool autoSyncOn = false;
    double autoSyncTenths = 0.0;  // interval in tenths of an hour, 1..12
    bool limitOn = false;
    double limitMs = 0.0;        // 1..9999
    double scheduleStart = 0.0;  // seconds since local midnight
    bool logOn = false;
    std::string logPath;
    std::string cfgPath;
    std::string cfgLine;  // the configuration line as read at start-up
    std::int32_t localPort = 0;
};

}  // namespace korvel
