#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace korvel {

// The system clock through kernel32. Readings come from GetSystemTimePreciseAsFileTime:
// GetSystemTime moves only once per system tick (15.6 ms by default). Setting it needs the
// "change the system time" right, which SetSystemTime enables for the call where the
// account holds it (administrators do).
class Win32Clock final : public SystemClock, public LocalClock, public SteadyClock {
public:
    // Paired with the performance counter, which steps of the system clock never move.
    PairedReading readPaired() override;
    // A FILETIME unit: 100 ns.
    std::int64_t readingResolutionNs() override { return 100; }
    SystemTime getSystemTime() override;
    // Composes the new record from a reading now and calls SetSystemTime; answers at once.
    void stepClock(double offsetSec, bool interactive,
                   std::function<void(ClockStepAnswer)> done) override;
    // The "change the system time" right is in the process's token (enabled or not).
    bool holdsRightToStep() override;
    std::string competingTimeService() override;
    SystemTime getLocalTime() override;
};

// The UTC record of a FILETIME reading (100 ns units since 1601), to the nearest millisecond.
SystemTime utcOfFileTime(std::uint64_t fileTime);
// The same reading in nanoseconds since 1970-01-01 00:00:00.
std::int64_t unixNsOfFileTime(std::uint64_t fileTime);

}  // namespace korvel
