#pragma once

#include <time.h>

#include "platform/clock.h"

namespace korvel {

// CLOCK_REALTIME; setting it needs CAP_SYS_TIME.
class PosixClock final : public SystemClock, public LocalClock {
public:
    SystemTime getSystemTime() override;
    bool setSystemTime(const SystemTime& utc) override;
    std::string competingTimeService() override;
    SystemTime getLocalTime() override;
};

// The UTC record of a CLOCK_REALTIME reading, to the nearest millisecond: from 999.5 ms on
// the reading carries into the next second (and so on up to the year).
SystemTime utcOfReading(const timespec& reading);

}  // namespace korvel
