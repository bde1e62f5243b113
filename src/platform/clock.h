#pragma once

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

// The local wall clock (time zone applied).
class LocalClock {
public:
    virtual ~LocalClock() = default;
    virtual SystemTime getLocalTime() = 0;
};

}  // namespace korvel
