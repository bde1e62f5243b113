#include "platform/posix/posix_clock.h"

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

bool PosixClock::setSystemTime(const SystemTime& utc) {
    SystemTime checked = utc;
    checked.dayOfWeek = 0;
    if (!isValid(checked)) {
        return false;
    }
    std::tm tm{};
    tm.tm_year = utc.year - 1900;
    tm.tm_mon = utc.month - 1;
    tm.tm_mday = utc.day;
    tm.tm_hour = utc.hour;
    tm.tm_min = utc.minute;
    tm.tm_sec = utc.second;
    const timespec ts{timegm(&tm), static_cast<long>(utc.milliseconds) * 1'000'000};
    return clock_settime(CLOCK_REALTIME, &ts) == 0;
}

std::string PosixClock::competingTimeService() {
    return runningTimeService("/proc");
}

}  // namespace korvel
