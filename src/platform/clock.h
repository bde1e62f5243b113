#pragma once

#include <cstdint>
#include <string>

#include "common/system_time.h"

namespace korvel {

// The system clock in UTC.
class SystemClock {
public:
    virtual ~SystemClock() = default;
    // Current UTC time with milliseconds; cannot fail.
    virtual SystemTime getSystemTime() = 0;
    // Sets the clock; false when the system refuses (no right, invalid record). The
    // day-of-week field is ignored.
    virtual bool setSystemTime(const SystemTime& utc) = 0;
    // The name of another time service running on this machine that steers the clock and so
    // may undo a step made here (chronyd, ntpd, systemd-timesyncd); empty when there is none.
    virtual std::string competingTimeService() = 0;
};

// A system clock reading for measuring, paired with a reading of a clock that steps of the
// system clock never move but slews do, taken at the same moment: a step between two readings
// shows as a change of utc minus steadyMs.
struct PairedReading {
    SystemTime utc;
    std::int64_t steadyMs = 0;  // milliseconds from an arbitrary start; never goes back
};

class SteadyClock {
public:
    virtual ~SteadyClock() = default;
    virtual PairedReading readPaired() = 0;
    // How far apart, in milliseconds, two readings of one instant may lie: the resolution of
    // the utc readings.
    virtual int readingResolutionMs() = 0;
};

// The local wall clock (time zone applied).
class LocalClock {
public:
    virtual ~LocalClock() = default;
    virtual SystemTime getLocalTime() = 0;
};

}  // namespace korvel
