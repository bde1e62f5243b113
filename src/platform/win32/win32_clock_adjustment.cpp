#include "platform/win32/win32_clock_adjustment.h"

#include <cmath>

namespace korvel {

namespace {

constexpr const char* kMissing = "本系统不能调整时钟的频率。";
constexpr const char* kNoRight =
    "本程序没有更改系统时间的权利：请以管理员身份运行，或授予此用户“更改系统时间”的权利。";

bool enableSystemTimeRight() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        return false;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool enabled =
        LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &privileges.Privileges[0].Luid) &&
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
        GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return enabled;
}

}  // namespace

std::optional<TimeAdjustmentCalls> loadTimeAdjustmentCalls() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) {
        return std::nullopt;
    }
    TimeAdjustmentCalls calls;
    calls.get = reinterpret_cast<decltype(calls.get)>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetSystemTimeAdjustmentPrecise")));
    calls.set = reinterpret_cast<decltype(calls.set)>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetSystemTimeAdjustmentPrecise")));
    calls.enableRight = enableSystemTimeRight;
    if (calls.get == nullptr || calls.set == nullptr) {
        return std::nullopt;
    }
    return calls;
}

Win32ClockAdjustment::Win32ClockAdjustment(std::optional<TimeAdjustmentCalls> calls)
    : m_calls(calls) {}

std::optional<double> Win32ClockAdjustment::frequencyPpm() {
    DWORD64 adjustment = 0, increment = 0;
    BOOL disabled = TRUE;
    if (!m_calls || !m_calls->get(&adjustment, &increment, &disabled) || increment == 0) {
        return std::nullopt;
    }
    return disabled ? 0.0
                    : (static_cast<double>(adjustment) / static_cast<double>(increment) - 1) * 1e6;
}

AdjustmentRefusal Win32ClockAdjustment::setFrequency(double ppm) {
    DWORD64 adjustment = 0, increment = 0;
    BOOL disabled = TRUE;
    if (!m_calls || !m_calls->get(&adjustment, &increment, &disabled) || increment == 0) {
        return kMissing;
    }
    const auto added =
        static_cast<DWORD64>(std::llround(static_cast<double>(increment) * (1 + ppm * 1e-6)));
    if (!m_calls->enableRight() || !m_calls->set(added, FALSE)) {
        return kNoRight;
    }
    return {};
}

AdjustmentRefusal Win32ClockAdjustment::slew(double) {
    return "本系统不能平滑调整时钟。";
}

AdjustmentRefusal Win32ClockAdjustment::reset() {
    // Without the calls nothing was ever set: the clock is already its own.
    if (!m_calls) {
        return {};
    }
    return m_calls->enableRight() && m_calls->set(0, TRUE) ? AdjustmentRefusal() : kNoRight;
}

}  // namespace korvel
