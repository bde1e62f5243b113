#pragma once

#include <optional>
#include <string>

namespace korvel {

// How a request to adjust the clock ended: empty when done, else why not in the user's words.
using AdjustmentRefusal = std::string;

// The system's keeping of the clock between corrections: a frequency correction, and a slew
// that removes an offset gradually. Both need the right to set the clock; steps go through
// SystemClock.
class ClockAdjustment {
public:
    virtual ~ClockAdjustment() = default;
    // The frequency correction in effect (ppm, positive: the clock runs faster); nullopt when
    // it cannot be read. Needs no right.
    virtual std::optional<double> frequencyPpm() = 0;
    // Sets the frequency correction, with the system's own discipline of the clock off.
    virtual AdjustmentRefusal setFrequency(double ppm) = 0;
    // Whether slew can remove an offset here; where it cannot, the keeper steps.
    virtual bool canSlew() = 0;
    // Slews the clock by offsetSec (positive: forward), replacing a slew still under way; the
    // system goes on with it after the process has ended.
    virtual AdjustmentRefusal slew(double offsetSec) = 0;
    // Gives the clock back: no frequency correction, no slew pending.
    virtual AdjustmentRefusal reset() = 0;
    // Whether the monotonic clock runs at the frequency set here, as Linux's does; where it
    // does not, the wall clock draws away from it by that frequency between runs.
    virtual bool steadyFollowsFrequency() = 0;
};

}  // namespace korvel
