#pragma once

#include "platform/clock.h"
#include "platform/random.h"

namespace korvel {

// CLOCK_REALTIME, stepped directly with clock_settime: that needs CAP_SYS_TIME, and the
// answer comes at once. Paired with CLOCK_MONOTONIC.
class PosixClock final : public SystemClock, public LocalClock, public SteadyClock {
public:
    PairedReading readPaired() override;
    // CLOCK_REALTIME's resolution as the system states it.
    std::int64_t readingResolutionNs() override;
    SystemTime getSystemTime() override;
    void stepClock(double offsetSec, bool interactive,
                   std::function<void(ClockStepAnswer)> done) override;
    ClockStepAnswer stepDirectly(double offsetSec);
    bool holdsRightToStep() override;
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

}  // namespace korvel
