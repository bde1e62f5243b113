#include "platform/posix/posix_clock.h"

#include <cerrno>
#include <cmath>
#include <ctime>

#include "platform/posix/time_services.h"

namespace korvel {

namespace {

constexpr long kNanosecondsPerMillisecond = 1'000'000;
constexpr long kMillisecondsPerSecond = 1000;

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

timespec now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts;
}

}  // namespace

SystemTime utcOfReading(const timespec& reading) {
    const Reading rounded = nearestMillisecond(reading);
    std::tm tm{};
    gmtime_r(&rounded.seconds, &tm);
    return fromTm(tm, rounded.milliseconds);
}

SystemTime PosixClock::getSystemTime() {
    return utcOfReading(now());
}

SystemTime PosixClock::getLocalTime() {
    const Reading rounded = nearestMillisecond(now());
    std::tm tm{};
    localtime_r(&rounded.seconds, &tm);
    return fromTm(tm, rounded.milliseconds);
}

ClockStep PosixClock::stepDirectly(double offsetSec) {
    timespec ts = now();
    const long long nanoseconds =
        ts.tv_nsec + std::llround(offsetSec * kNanosecondsPerMillisecond * kMillisecondsPerSecond);
    const long long wholeSeconds = nanoseconds / 1'000'000'000 - (nanoseconds % 1'000'000'000 < 0);
    ts.tv_sec += static_cast<time_t>(wholeSeconds);
    ts.tv_nsec = static_cast<long>(nanoseconds - wholeSeconds * 1'000'000'000);
    if (clock_settime(CLOCK_REALTIME, &ts) == 0) {
        return ClockStep::Stepped;
    }
    return errno == EPERM ? ClockStep::NoRight : ClockStep::Rejected;
}

void PosixClock::stepClock(double offsetSec, bool, std::function<void(ClockStep)> done) {
    done(stepDirectly(offsetSec));
}

std::string PosixClock::competingTimeService() {
    return runningTimeService("/proc");
}

}  // namespace korvel
