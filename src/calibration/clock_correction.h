#pragma once

#include <string>

#include "sntp/correction_policy.h"

namespace korvel {

struct MainForm;

inline constexpr const char* kScheduledRefusalNotice =
    "自动校准未获授权，系统时钟没有校准。\n"
    "管理员可以允许一个用户组不输入密码校准时钟，方法见帮助中的“校准时间的权限”。";

// Command6: steps the system clock by the measured offset, once per offset. Until the clock
// answers the window is correcting: gates closed, offset validity stopped, the clock display
// ticking without its jump check and scheduler. The answer finishes the correction (its
// outcome, the idle state, a pending automatic-decision line, a close asked for meanwhile).
// A manual correction may ask the user for authorisation, a scheduled one never; where the
// process lacks the right and the system grants it by elevation, a manual correction runs the
// measuring tool elevated against the window's servers instead, and its exit status is the
// outcome. Unanswered
// after five minutes the correction's outcome is unknown, but no other correction may be asked
// until the system has answered (stepPending).
void clockCorrection(MainForm& form);

// What the correction policy reads, for a run of the window; otherTimeService names another
// time service that keeps the clock, empty for none.
CorrectionInput correctionInput(MainForm& form, CorrectionRun run,
                                const std::string& otherTimeService);

}  // namespace korvel
