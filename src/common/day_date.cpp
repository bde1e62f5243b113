#include "common/day_date.h"

#include <cmath>

#include "common/text_forms.h"

namespace korvel {

namespace {

constexpr std::int64_t kUnixEpochDayNumber = 25569;  // 1970-01-01
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr double kDaySeconds = 86400.0;
constexpr std::int64_t kNanosecondsPerMillisecond = 1'000'000;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
// 1900-01-01 (day number 2) to 1970-01-01.
constexpr std::int64_t kNtpSecondsAtUnixEpoch = (kUnixEpochDayNumber - 2) * kSecondsPerDay;

std::int64_t floorDivide(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return quotient - (value % divisor < 0 ? 1 : 0);
}

// Days since 1970-01-01, by eras of 400 years (146097 days each).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(y - era * 400);
    const unsigned dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

}  // namespace

std::int64_t dayNumber(int year, int month, int day) {
    return daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
           kUnixEpochDayNumber;
}

CivilDate civilDate(std::int64_t number) {
    const std::int64_t z = number - kUnixEpochDayNumber + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(z - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned d = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yearOfEra) + era * 400 + (m <= 2 ? 1 : 0);
    return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

int dayOfWeek(std::int64_t number) {
    // 1899-12-30 was a Saturday.
    const std::int64_t w = (number + 6) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

double dayDate(const SystemTime& time) {
    const double seconds = time.hour * 3600.0 + time.minute * 60.0 + time.second;
    return static_cast<double>(dayNumber(time.year, time.month, time.day)) +
           seconds / kSecondsPerDay;
}

SystemTime fieldsOfDayDate(double value) {
    const double wholeSeconds = std::round(value * kSecondsPerDay);
    const auto total = static_cast<std::int64_t>(wholeSeconds);
    std::int64_t day = total / kSecondsPerDay;
    std::int64_t secondOfDay = total % kSecondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDay;
        --day;
    }
    const CivilDate date = civilDate(day);
    SystemTime fields;
    fields.year = static_cast<std::uint16_t>(date.year);
    fields.month = static_cast<std::uint16_t>(date.month);
    fields.day = static_cast<std::uint16_t>(date.day);
    fields.dayOfWeek = static_cast<std::uint16_t>(dayOfWeek(day));
    fields.hour = static_cast<std::uint16_t>(secondOfDay / 3600);
    fields.minute = static_cast<std::uint16_t>(secondOfDay % 3600 / 60);
    fields.second = static_cast<std::uint16_t>(secondOfDay % 60);
    return fields;
}

std::int64_t ntpWholeSeconds(const SystemTime& utc) {
    // 1900-01-01 is day number 2.
    const std::int64_t days = dayNumber(utc.year, utc.month, utc.day) - 2;
    return days * kSecondsPerDay + utc.hour * 3600 + utc.minute * 60 + utc.second;
}

double ntpSeconds(const SystemTime& utc) {
    return static_cast<double>(ntpWholeSeconds(utc)) + utc.milliseconds / 1000.0;
}

double ntpSecondsOfUnixNs(std::int64_t unixNs) {
    const std::int64_t seconds = floorDivide(unixNs, kNanosecondsPerSecond);
    const std::int64_t nanoseconds = unixNs - seconds * kNanosecondsPerSecond;
    // Whole seconds and fraction apart, so that the sum is rounded once.
    return static_cast<double>(seconds + kNtpSecondsAtUnixEpoch) +
           static_cast<double>(nanoseconds) / static_cast<double>(kNanosecondsPerSecond);
}

SystemTime utcOfUnixNs(std::int64_t unixNs) {
    const std::int64_t milliseconds =
        floorDivide(unixNs + kNanosecondsPerMillisecond / 2, kNanosecondsPerMillisecond);
    const std::int64_t seconds = floorDivide(milliseconds, 1000);
    const std::int64_t day = floorDivide(seconds, kSecondsPerDay) + kUnixEpochDayNumber;
    const std::int64_t secondOfDay = seconds - (day - kUnixEpochDayNumber) * kSecondsPerDay;
    const CivilDate date = civilDate(day);
    SystemTime t;
    t.year = static_cast<std::uint16_t>(date.year);
    t.month = static_cast<std::uint16_t>(date.month);
    t.dayOfWeek = static_cast<std::uint16_t>(dayOfWeek(day));
    t.day = static_cast<std::uint16_t>(date.day);
    t.hour = static_cast<std::uint16_t>(secondOfDay / 3600);
    t.minute = static_cast<std::uint16_t>(secondOfDay % 3600 / 60);
    t.second = static_cast<std::uint16_t>(secondOfDay % 60);
    t.milliseconds = static_cast<std::uint16_t>(milliseconds - seconds * 1000);
    return t;
}

float secondsSinceMidnight(const SystemTime& local) {
    return static_cast<float>(local.hour * 3600.0 + local.minute * 60.0 + local.second +
                              local.milliseconds / 1000.0);
}

namespace {

// Fields of second s (0 <= s < 86400) of the given day.
SystemTime fieldsOfDay(std::int64_t day, double s, std::uint16_t dayOfWeekRead) {
    double milliseconds = roundHalfEven((s - std::trunc(s)) * 1000);
    if (milliseconds >= 1000) {
        // Carry instead of handing the clock an impossible 1000 ms.
        s = std::trunc(s) + 1;
        milliseconds = 0;
        if (s >= kDaySeconds) {
            s -= kDaySeconds;
            ++day;
        }
    }
    const auto whole = static_cast<std::int32_t>(std::trunc(s));
    const CivilDate date = civilDate(day);
    SystemTime t;
    t.year = static_cast<std::uint16_t>(date.year);
    t.month = static_cast<std::uint16_t>(date.month);
    t.day = static_cast<std::uint16_t>(date.day);
    t.dayOfWeek = dayOfWeekRead;
    t.hour = static_cast<std::uint16_t>(whole / 3600);
    t.minute = static_cast<std::uint16_t>(whole % 3600 / 60);
    t.second = static_cast<std::uint16_t>(whole % 60);
    t.milliseconds = static_cast<std::uint16_t>(milliseconds);
    return t;
}

}  // namespace

SystemTime correctedTime(const SystemTime& utc, double offsetSec) {
    double s =
        utc.minute * 60.0 + utc.hour * 3600.0 + utc.second + utc.milliseconds / 1000.0 + offsetSec;
    std::int64_t day = dayNumber(utc.year, utc.month, utc.day);
    if (s <= 0 || s >= kDaySeconds) {
        const double total = static_cast<double>(day) * kDaySeconds + s;
        const double dayValue = std::floor(total / kDaySeconds);
        s = total - dayValue * kDaySeconds;
        day = static_cast<std::int64_t>(dayValue);
    }
    return fieldsOfDay(day, s, utc.dayOfWeek);
}

}  // namespace korvel
