#include "platform/win32/win32_clock.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/day_date.h"

namespace korvel {

namespace {

constexpr std::uint64_t kFileTimeUnitsPerMillisecond = 10'000;
constexpr std::int64_t kNanosecondsPerFileTimeUnit = 100;
// FILETIME of 1970-01-01 00:00:00.
constexpr std::int64_t kFileTimeAtUnixEpoch = 116'444'736'000'000'000;

SystemTime recordOf(const SYSTEMTIME& s) {
    return {s.wYear, s.wMonth,  s.wDayOfWeek, s.wDay,
            s.wHour, s.wMinute, s.wSecond,    s.wMilliseconds};
}

SYSTEMTIME systemTimeOf(std::uint64_t fileTime) {
    const FILETIME f{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    SYSTEMTIME s{};
    FileTimeToSystemTime(&f, &s);
    return s;
}

std::uint64_t preciseNow() {
    FILETIME f{};
    GetSystemTimePreciseAsFileTime(&f);
    return (static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

// Rounded, not truncated: a truncated reading is half a millisecond early on average, and an
// exchange reads the clock at both ends, which would bias every offset by that much.
std::uint64_t nearestMillisecond(std::uint64_t fileTime) {
    return (fileTime + kFileTimeUnitsPerMillisecond / 2) / kFileTimeUnitsPerMillisecond *
           kFileTimeUnitsPerMillisecond;
}

}  // namespace

SystemTime utcOfFileTime(std::uint64_t fileTime) {
    return recordOf(systemTimeOf(nearestMillisecond(fileTime)));
}

std::int64_t unixNsOfFileTime(std::uint64_t fileTime) {
    return (static_cast<std::int64_t>(fileTime) - kFileTimeAtUnixEpoch) *
           kNanosecondsPerFileTimeUnit;
}

SystemTime Win32Clock::getSystemTime() {
    return utcOfFileTime(preciseNow());
}

PairedReading Win32Clock::readPaired() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    const auto milliseconds = [&frequency] {
        LARGE_INTEGER count{};
        QueryPerformanceCounter(&count);
        return count.QuadPart / (frequency.QuadPart / 1000);
    };
    // The wall clock read between two counter readings; a pair the scheduler pulled apart is
    // read again, so a preemption never looks like a step.
    constexpr int kTries = 5;
    PairedReading reading;
    for (int i = 0; i < kTries; ++i) {
        const std::int64_t before = milliseconds();
        const std::uint64_t wall = preciseNow();
        const std::int64_t after = milliseconds();
        reading = {unixNsOfFileTime(wall), (before + after) / 2};
        if (after - before <= 1) {
            break;
        }
    }
    return reading;
}

SystemTime Win32Clock::getLocalTime() {
    const SYSTEMTIME utc = systemTimeOf(nearestMillisecond(preciseNow()));
    SYSTEMTIME local{};
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    return recordOf(local);
}

void Win32Clock::stepClock(double offsetSec, bool, std::function<void(ClockStepAnswer)> done) {
    const SystemTime target = correctedTime(getSystemTime(), offsetSec);
    const SYSTEMTIME record{target.year,   target.month,       0,
                            target.day,    target.hour,        target.minute,
                            target.second, target.milliseconds};
    if (SetSystemTime(&record)) {
        done({ClockStep::Stepped, {}});
        return;
    }
    if (GetLastError() == ERROR_PRIVILEGE_NOT_HELD) {
        done({ClockStep::NoRight,
              "本程序没有更改系统时间的权利：请以管理员身份运行，或授予此用户"
              "“更改系统时间”的权利。"});
        return;
    }
    done({ClockStep::Rejected, "系统拒绝了新的时间。"});
}

bool Win32Clock::holdsRightToStep() {
    LUID right{};
    HANDLE token = nullptr;
    if (!LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &right) ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<std::uint8_t> buffer(size);
    bool held = false;
    if (size > 0 && GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID& luid = privileges->Privileges[i].Luid;
            held = held || (luid.LowPart == right.LowPart && luid.HighPart == right.HighPart);
        }
    }
    CloseHandle(token);
    return held;
}

std::string Win32Clock::competingTimeService() {
    // The Windows Time service steers the clock when it runs.
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        return {};
    }
    std::string name;
    SC_HANDLE service = OpenServiceW(manager, L"W32Time", SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING) {
            name = "W32Time";
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return name;
}

}  // namespace korvel
