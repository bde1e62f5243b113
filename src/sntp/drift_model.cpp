#include "sntp/drift_model.h"

#include <algorithm>
#include <cmath>

namespace korvel {

namespace {

// How fast a desktop's quartz oscillator wanders (its frequency, per root second) as the room
// and the case warm and cool: the fit trusts old runs' slope the less, the older they are.
constexpr double kWanderPerRootSec = 1e-9;
// No burst is trusted to better than this, whatever its replies say: the servers' own error.
constexpr double kLeastSpreadSec = 20e-6;
// A run further from what the runs before it foretell than this many standard deviations is
// left out.
constexpr double kStrayDeviations = 5.0;
// Before any slope is known: as good as unknown (a clock a thousand ppm off is broken).
constexpr double kUnknownSlopeVariance = 1e-6;

// Phase (offset of the uncorrected clock) and slope with their covariance, carried from run
// to run: a least-squares fit of a line whose slope may wander, one run at a time.
struct Fit {
    double phase = 0.0;
    double slope = 0.0;
    double pp = 0.0, ps = 0.0, ss = kUnknownSlopeVariance;
    int runs = 0;

    void advance(double dt) {
        const double q = kWanderPerRootSec * kWanderPerRootSec;
        phase += slope * dt;
        pp += 2 * dt * ps + dt * dt * ss + q * dt * dt * dt / 3;
        ps += dt * ss + q * dt * dt / 2;
        ss += q * dt;
    }
    // Takes a measurement unless it strays; whether it was taken.
    bool take(double offset, double spread) {
        const double r = spread * spread;
        if (runs == 0) {
            phase = offset;
            pp = r;
            ps = 0.0;
            runs = 1;
            return true;
        }
        const double innovation = offset - phase;
        const double variance = pp + r;
        if (runs >= 3 && std::abs(innovation) > kStrayDeviations * std::sqrt(variance)) {
            return false;
        }
        const double kPhase = pp / variance;
        const double kSlope = ps / variance;
        phase += kPhase * innovation;
        slope += kSlope * innovation;
        ss -= kSlope * ps;
        ps -= kSlope * pp;
        pp -= kPhase * pp;
        ++runs;
        return true;
    }
};

}  // namespace

DriftEstimate estimateDrift(std::span<const DriftSample> runs, const FrequencyEstimate* prior) {
    DriftEstimate estimate;
    if (runs.empty()) {
        return estimate;
    }
    Fit fit;
    if (prior != nullptr) {
        fit.slope = prior->ppm * 1e-6;
        fit.ss = std::pow(std::max(prior->uncertaintyPpm, 1e-3) * 1e-6, 2);
    }
    // The corrections made before each run, added back: what the clock left alone would show.
    double corrections = 0.0;
    double fittedAt = runs.front().atSec;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (i > 0) {
            corrections += runs[i - 1].correctedSec +
                           runs[i - 1].frequencyPpm * 1e-6 * (runs[i].atSec - runs[i - 1].atSec);
        }
        const DriftSample& run = runs[i];
        if (!run.trusted) {
            continue;
        }
        if (fit.runs > 0) {
            fit.advance(run.atSec - fittedAt);
        }
        fittedAt = run.atSec;
        fit.take(run.offsetSec + corrections, std::max(run.spreadSec, kLeastSpreadSec));
    }
    estimate.lastOffsetSec = runs.back().offsetSec;
    estimate.lastOffsetUncertaintySec = std::max(runs.back().spreadSec, kLeastSpreadSec);
    estimate.runsFitted = fit.runs;
    if (fit.runs + (prior != nullptr ? 1 : 0) < 2) {
        return estimate;
    }
    fit.advance(runs.back().atSec - fittedAt);
    estimate.known = true;
    estimate.frequency = {fit.slope * 1e6, std::sqrt(fit.ss) * 1e6};
    if (fit.runs >= 3) {
        estimate.lastOffsetSec = fit.phase - corrections;
        estimate.lastOffsetUncertaintySec = std::sqrt(fit.pp);
    }
    return estimate;
}

bool driftCanExplain(const DriftSample& earlier, const DriftSample& later) {
    const double spread = std::hypot(std::max(earlier.spreadSec, kLeastSpreadSec),
                                     std::max(later.spreadSec, kLeastSpreadSec));
    return std::abs(later.offsetSec - earlier.offsetSec) <=
           kMostFrequencyPpm * 1e-6 * std::abs(later.atSec - earlier.atSec) +
               kStrayDeviations * spread;
}

double carriedOffset(double offsetSec, double neededPpm, double appliedPpm, double elapsedSec) {
    return offsetSec + (neededPpm - appliedPpm) * 1e-6 * elapsedSec;
}

}  // namespace korvel
