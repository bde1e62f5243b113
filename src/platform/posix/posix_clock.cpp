#include "platform/posix/posix_clock.h"

#include <linux/capability.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <ctime>
#include <random>

#include "common/day_date.h"
#include "platform/posix/time_services.h"

namespace korvel {

namespace {

constexpr long kNanosecondsPerMillisecond = 1'000'000;
constexpr long kMillisecondsPerSecond = 1000;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

struct Reading {
    time_t seconds;
    long milliseconds;
};

// Rounded, not truncated: a truncated reading is half a millisecond early on average, and an
// exchange reads the clock at both ends, which would bias every offset by that much.
Reading nearestMillisecond(const timespec& reading) {
    const long milliseconds =
        (reading.tv_nsec + kNanosecondsPerMillisecond / 2) / kNanosecondsPerMillisecond;
    if (milliseconds == kMillisecondsPerSecond) {
        return {reading.tv_sec + 1, 0};
    }
    return {reading.tv_sec, milliseconds};
}

SystemTime fromTm(const std::tm& tm, long milliseconds) {
    SystemTime t;
    t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    t.dayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    t.day = static_cast<std::uint16_t>(tm.tm_mday);
    t.hour = static_cast<std::uint16_t>(tm.tm_hour);
    t.minute = static_cast<std::uint16_t>(tm.tm_min);
    // A leap second reads as :59.
    t.second = static_cast<std::uint16_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
    t.milliseconds = static_cast<std::uint16_t>(milliseconds);
    return t;
}

timespec now(clockid_t clock = CLOCK_REALTIME) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts;
}

std::int64_t nanoseconds(const timespec& ts) {
    return static_cast<std::int64_t>(ts.tv_sec) * kNanosecondsPerSecond + ts.tv_nsec;
}

std::int64_t milliseconds(const timespec& ts) {
    return static_cast<std::int64_t>(ts.tv_sec) * kMillisecondsPerSecond +
           ts.tv_nsec / kNanosecondsPerMillisecond;
}

}  // namespace

SystemTime PosixClock::getSystemTime() {
    return utcOfUnixNs(nanoseconds(now()));
}

PairedReading PosixClock::readPaired() {
    // The wall clock read between two monotonic readings; a pair that the scheduler pulled
    // apart is read again, so a preemption never looks like a step.
    constexpr int kTries = 5;
    PairedReading reading;
    for (int i = 0; i < kTries; ++i) {
        const timespec before = now(CLOCK_MONOTONIC);
        const timespec wall = now();
        const std::int64_t after = milliseconds(now(CLOCK_MONOTONIC));
        reading = {nanoseconds(wall), (milliseconds(before) + after) / 2};
        if (after - milliseconds(before) <= 1) {
            break;
        }
    }
    return reading;
}

std::int64_t PosixClock::readingResolutionNs() {
    timespec resolution{};
    clock_getres(CLOCK_REALTIME, &resolution);
    return nanoseconds(resolution);
}

std::uint32_t SystemRandom::randomBits() {
    std::uint32_t bits = 0;
    ssize_t got = 0;
    do {
        got = ::getrandom(&bits, sizeof bits, 0);
    } while (got < 0 && errno == EINTR);
    // A kernel without getrandom(2): the library's device-backed source.
    return got == static_cast<ssize_t>(sizeof bits) ? bits : std::random_device{}();
}

SystemTime PosixClock::getLocalTime() {
    const Reading rounded = nearestMillisecond(now());
    std::tm tm{};
    localtime_r(&rounded.seconds, &tm);
    return fromTm(tm, rounded.milliseconds);
}

ClockStepAnswer linuxStepAnswer(ClockStep outcome) {
    switch (outcome) {
        case ClockStep::Stepped:
            return {outcome, {}};
        case ClockStep::NotAuthorised:
            return {outcome, "未获授权设置系统时钟（需要管理员授权）。"};
        case ClockStep::AutomaticSync:
            return {outcome,
                    "系统已开启自动时间同步，不接受手动校准。如需手动校准，请先关闭自动同步"
                    "（命令 timedatectl set-ntp false）。"};
        case ClockStep::NoRight:
            return {outcome, "本机没有可请求的时间服务，本程序也没有设置系统时钟的权限。"};
        case ClockStep::Rejected:
            break;
        case ClockStep::Unknown:
            return {outcome, "没有收到时间服务的答复，时钟可能已经校准，请再测时一次确认。"};
    }
    return {ClockStep::Rejected, "系统拒绝了新的时间。"};
}

ClockStepAnswer PosixClock::stepDirectly(double offsetSec) {
    timespec ts = now();
    const long long nanoseconds =
        ts.tv_nsec + std::llround(offsetSec * kNanosecondsPerMillisecond * kMillisecondsPerSecond);
    const long long wholeSeconds = nanoseconds / 1'000'000'000 - (nanoseconds % 1'000'000'000 < 0);
    ts.tv_sec += static_cast<time_t>(wholeSeconds);
    ts.tv_nsec = static_cast<long>(nanoseconds - wholeSeconds * 1'000'000'000);
    if (clock_settime(CLOCK_REALTIME, &ts) == 0) {
        return linuxStepAnswer(ClockStep::Stepped);
    }
    return linuxStepAnswer(errno == EPERM ? ClockStep::NoRight : ClockStep::Rejected);
}

bool PosixClock::holdsRightToStep() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    return (data[CAP_SYS_TIME / 32].effective & (1u << (CAP_SYS_TIME % 32))) != 0;
}

void PosixClock::stepClock(double offsetSec, bool, std::function<void(ClockStepAnswer)> done) {
    done(stepDirectly(offsetSec));
}

std::string PosixClock::competingTimeService() {
    return runningTimeService("/proc");
}

}  // namespace korvel
