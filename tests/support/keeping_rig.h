#pragma once

#include <cstdint>

namespace korvel::test {

// One way of a path to the servers: a fixed delay plus an exponentially distributed one.
struct PathDelay {
    double baseSec = 0.0;
    double jitterMeanSec = 0.0;
};

inline constexpr PathDelay kLanPath{100e-6, 100e-6};
inline constexpr PathDelay kHomePath{20e-3, 5e-3};

// A day of unattended runs on a simulated machine: a clock with a frequency error that wanders,
// the kernel's adjustments (frequency, single-shot slew at 500 ppm, step; the monotonic clock
// slewed alike), three servers keeping true time behind paths of the given delays, and the
// scheduled correction's timer.
struct DayOptions {
    double driftPpm = 20.0;              // the clock runs fast by this much
    double randomWalkPerRootSec = 1e-9;  // its frequency wanders by this much in a second
    double initialErrorSec = 0.1;        // the clock starts this far ahead
    PathDelay path = kLanPath;           // each way
    bool keeper = true;                  // false: every run steps by its offset, as before
    bool shortBursts = true;             // with the keeper: as few requests as the tool asks
    std::uint64_t seed = 1;
    double durationSec = 86400.0;
    // The timer: first run this long after boot, then this long after the last started, each
    // time up to randomDelaySec later.
    double firstRunSec = 120.0;
    double intervalSec = 1800.0;
    double randomDelaySec = 300.0;
};

struct DayFigures {
    double rmsErrorSec = 0.0;  // of the clock against true time, after the first hour
    double maxErrorSec = 0.0;  // largest |error| after the first hour
    int runs = 0;
    int steps = 0;
    int backwardSteps = 0;
    int backwardStepsAfterSecondRun = 0;
    double requestsPerHour = 0.0;
};

DayFigures simulateDay(const DayOptions& options);

}  // namespace korvel::test
