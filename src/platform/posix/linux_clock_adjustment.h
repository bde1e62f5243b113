#pragma once

#include "platform/clock_adjustment.h"

namespace korvel {

// The kernel's clock discipline through clock_adjtime: the frequency with the kernel's own
// loop off, the offset by a single-shot slew at the kernel's 500 ppm. STA_UNSYNC stays set:
// clearing it would start the kernel's writes of the hardware clock every 11 minutes, which
// put a dual-boot machine's local-time hardware clock off by the time zone, and would make
// timedated report the clock synchronised by a service it does not know.
class LinuxClockAdjustment final : public ClockAdjustment {
public:
    std::optional<double> frequencyPpm() override;
    AdjustmentRefusal setFrequency(double ppm) override;
    bool canSlew() override { return true; }
    AdjustmentRefusal slew(double offsetSec) override;
    AdjustmentRefusal reset() override;
    bool steadyFollowsFrequency() override { return true; }
};

}  // namespace korvel
