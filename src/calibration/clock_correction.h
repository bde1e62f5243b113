#pragma once

namespace korvel {

struct MainForm;

inline constexpr const char* kCorrectionFailedText = "校准失败";
inline constexpr const char* kCorrectionUnknownText = "校准结果未知";
// Why a step without the right to set the clock failed, in the words of each system.
#ifdef _WIN32
inline constexpr const char* kNoRightReason =
    "本程序没有更改系统时间的权利：请以管理员身份运行，或授予此用户“更改系统时间”的权利。";
#else
inline constexpr const char* kNoRightReason =
    "本机没有可请求的时间服务，本程序也没有设置系统时钟的权限。";
#endif
inline constexpr const char* kScheduledRefusalNotice =
    "自动校准未获授权，系统时钟没有校准。\n"
    "管理员可以允许一个用户组不输入密码校准时钟，方法见帮助中的“校准时间的权限”。";

// Command6: steps the system clock by the measured offset, once per offset. Until the clock
// answers the window is correcting: gates closed, offset validity stopped, the clock display
// ticking without its jump check and scheduler. The answer finishes the correction (the
// failure text, the idle state, a pending automatic-decision line, a close asked for meanwhile).
// A manual correction may ask the user for authorisation, a scheduled one never.
void clockCorrection(MainForm& form);

}  // namespace korvel
