#pragma once

#include <time.h>

#include "platform/clock.h"
#include "platform/random.h"

namespace korvel {

// CLOCK_REALTIME, stepped directly with clock_settime: that needs CAP_SYS_TIME, and the
// answer comes at once. Paired with CLOCK_MONOTONIC.
class PosixClock final : public SystemClock, public LocalClock, public SteadyClock {
public:
    PairedReading readPaired() override;
    int readingResolutionMs() override { return 1; }
    SystemTime getSystemTime() override;
    void stepClock(double offsetSec, bool interactive,
                   std::function<void(ClockStepAnswer)> done) override;
    ClockStepAnswer stepDirectly(double offsetSec);
    std::string competingTimeService() override;
    SystemTime getLocalTime() override;
};

// An outcome of a step on Linux with the reason in the user's words.
ClockStepAnswer linuxStepAnswer(ClockStep outcome);

// The system's random source, getrandom(2).
class SystemRandom final : public RandomSource {
public:
    std::uint32_t randomBits() override;
};

// The UTC record of a CLOCK_REALTIME reading, to the nearest millisecond: from 999.5 ms on
// the reading carries into the next second (and so on up to the year).
SystemTime utcOfReading(const timespec& reading);

}  // namespace korvel
