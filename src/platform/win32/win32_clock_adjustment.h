#pragma once

#include <windows.h>

#include <optional>

#include "platform/clock_adjustment.h"

namespace korvel {

// kernel32's clock adjustment calls. mingw-w64's headers lack the precise ones and Wine 8
// does not export them, so they are looked up when the program runs.
struct TimeAdjustmentCalls {
    BOOL(WINAPI* get)(PDWORD64 adjustment, PDWORD64 increment, PBOOL disabled) = nullptr;
    BOOL(WINAPI* set)(DWORD64 adjustment, BOOL disabled) = nullptr;
    // Enables the "change the system time" right in the process's token for the set call.
    bool (*enableRight)() = nullptr;
};

// kernel32's GetSystemTimeAdjustmentPrecise and SetSystemTimeAdjustmentPrecise; nullopt
// where the system lacks them.
std::optional<TimeAdjustmentCalls> loadTimeAdjustmentCalls();

// The frequency as the time added at each clock interrupt against the interrupt's period
// (whatever their unit: the same for both). Windows has no slew that outlives the process
// safely, so offsets are stepped.
class Win32ClockAdjustment final : public ClockAdjustment {
public:
    explicit Win32ClockAdjustment(std::optional<TimeAdjustmentCalls> calls);

    std::optional<double> frequencyPpm() override;
    AdjustmentRefusal setFrequency(double ppm) override;
    bool canSlew() override { return false; }
    AdjustmentRefusal slew(double offsetSec) override;
    AdjustmentRefusal reset() override;
    // The performance counter is never adjusted.
    bool steadyFollowsFrequency() override { return false; }

private:
    std::optional<TimeAdjustmentCalls> m_calls;
};

}  // namespace korvel
