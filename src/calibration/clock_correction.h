#pragma once

namespace korvel {

struct MainForm;

inline constexpr const char* kScheduledRefusalNotice =
    "自动校准未获授权，系统时钟没有校准。\n"
    "管理员可以允许一个用户组不输入密码校准时钟，方法见帮助中的“校准时间的权限”。";

inline constexpr const char* kNoAnswerYetReason =
    "时间服务五分钟内没有答复，时钟可能稍后才会校准；答复之前不能再次校准。";

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

}  // namespace korvel
