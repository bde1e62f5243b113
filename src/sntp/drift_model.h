#pragma once

#include <span>

namespace korvel {

// The most a kernel's frequency correction may be, and more than any working clock drifts.
inline constexpr double kMostFrequencyPpm = 500.0;

// One unattended run as the drift model sees it: what the clock showed against the servers,
// and what the run did to the clock afterwards.
struct DriftSample {
    double atSec = 0.0;         // the burst's middle, on one time line (seconds, UTC)
    double offsetSec = 0.0;     // measured there, server minus local
    double spreadSec = 0.0;     // how far the offset may be off (one standard error)
    bool trusted = false;       // its servers agreed and answered alike; untrusted runs are not fit
    double correctedSec = 0.0;  // phase this run then moved the clock by (forward positive)
    double frequencyPpm = 0.0;  // the frequency correction in effect until the next run
};

// A frequency the clock needs, as measured or as carried over from an earlier boot.
struct FrequencyEstimate {
    double ppm = 0.0;             // correction that keeps the clock right (positive: faster)
    double uncertaintyPpm = 0.0;  // one standard error
};

struct DriftEstimate {
    bool known = false;           // two or more trusted runs, or a carried-over estimate
    FrequencyEstimate frequency;  // what the clock needs; its own drift is the opposite
    int runsFitted = 0;
    // The offset the fit puts at the last run (server minus local, after the corrections made
    // before it); meaningful when runsFitted >= 3, else the last measured offset.
    double lastOffsetSec = 0.0;
    double lastOffsetUncertaintySec = 0.0;
};

// The clock's frequency from the runs' history (oldest first): the offsets the clock would
// have shown had no run corrected it, fitted run by run by a line whose slope may wander as a
// quartz oscillator does, each run weighted by its spread; from the fourth run on, a run far
// from what the others foretell is left out. A prior (from an earlier boot) starts the slope.
DriftEstimate estimateDrift(std::span<const DriftSample> runs, const FrequencyEstimate* prior);

// Whether drift can explain the change from one offset to a later one: no faster than
// kMostFrequencyPpm, give or take their spreads. A larger jump is a step or another server's
// time; offsets on either side of it do not compare.
bool driftCanExplain(const DriftSample& earlier, const DriftSample& later);

// The offset measured at the burst's middle carried forward by elapsedSec, for a clock whose
// offset changes by (needed − applied) ppm: what is left to correct when the correction is made.
double carriedOffset(double offsetSec, double neededPpm, double appliedPpm, double elapsedSec);

}  // namespace korvel
