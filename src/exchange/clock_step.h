#pragma once

#include <string>

#include "platform/clock.h"
#include "sntp/outcome.h"

namespace korvel {

// How long a correction waits for the system's answer (a password may be typed meanwhile).
inline constexpr int kCorrectionWaitMs = 5 * 60 * 1000;

inline constexpr const char* kNoAnswerYetReason =
    "时间服务五分钟内没有答复，时钟可能稍后才会校准；答复之前不能再次校准。";

// The outcome of the system's answer to a step.
Outcome stepOutcome(ClockStep step);

// The hint shown when another time service steers the clock and may undo a step.
std::string competingServiceNotice(const std::string& serviceName);

}  // namespace korvel
