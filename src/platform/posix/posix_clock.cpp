#include "platform/posix/posix_clock.h"

#include <ctime>

#include "platform/posix/time_services.h"

namespace korvel {

namespace {

SystemTime fromTm(const std::tm& tm, long nanoseconds) {
    SystemTime t;
    t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    t.dayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    t.day = static_cast<std::uint16_t>(tm.tm_mday);
    t.hour = static_cast<std::uint16_t>(tm.tm_hour);
    t.minute = static_cast<std::uint16_t>(tm.tm_min);
    // A leap second reads as :59.
    t.second = static_cast<std::uint16_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
    t.milliseconds = static_cast<std::uint16_t>(nanoseconds / 1'000'000);
    return t;
}

timespec now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts;
}

}  // namespace

SystemTime PosixClock::getSystemTime() {
    const timespec ts = now();
    std::tm tm{};
    gmtime_r(&ts.tv_sec, &tm);
    return fromTm(tm, ts.tv_nsec);
}

SystemTime PosixClock::getLocalTime() {
    const timespec ts = now();
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    return fromTm(tm, ts.tv_nsec);
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
