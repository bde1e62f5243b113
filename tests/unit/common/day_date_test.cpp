#include "common/day_date.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace korvel {
namespace {

SystemTime fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                  int milliseconds = 0) {
    SystemTime t;
    t.year = static_cast<std::uint16_t>(year);
    t.month = static_cast<std::uint16_t>(month);
    t.day = static_cast<std::uint16_t>(day);
    t.hour = static_cast<std::uint16_t>(hour);
    t.minute = static_cast<std::uint16_t>(minute);
    t.second = static_cast<std::uint16_t>(second);
    t.milliseconds = static_cast<std::uint16_t>(milliseconds);
    return t;
}

struct KnownDay {
    int year, month, day;
    std::int64_t number;
    int weekday;  // 0 = Sunday
};

// Day numbers and weekdays checked against an independent calendar.
const KnownDay kKnownDays[] = {
    {1800, 1, 1, -36522, 3},   {1899, 12, 30, 0, 6},    {1899, 12, 31, 1, 0},
    {1900, 1, 1, 2, 1},        {1900, 2, 28, 60, 3},    {1900, 3, 1, 61, 4},  // 1900: no leap day
    {1970, 1, 1, 25569, 4},    {2000, 2, 29, 36585, 2}, {2000, 3, 1, 36586, 3},
    {2004, 3, 18, 38064, 4},   {2024, 2, 29, 45351, 4}, {2026, 12, 6, 46362, 0},
    {2036, 2, 7, 49712, 4},    {2100, 2, 28, 73109, 0}, {2100, 3, 1, 73110, 1},  // no leap day
    {9999, 12, 31, 2958465, 5}};

TEST(DayDate, KnownDaysHaveTheirNumberWeekdayAndComeBack) {
    for (const KnownDay& k : kKnownDays) {
        SCOPED_TRACE(testing::Message() << k.year << "-" << k.month << "-" << k.day);
        EXPECT_EQ(dayNumber(k.year, k.month, k.day), k.number);
        EXPECT_EQ(dayOfWeek(k.number), k.weekday);
        const CivilDate back = civilDate(k.number);
        EXPECT_EQ(back.year, k.year);
        EXPECT_EQ(back.month, k.month);
        EXPECT_EQ(back.day, k.day);
    }
}

TEST(DayDate, EveryDayFrom1800To2200FollowsTheDayBefore) {
    const std::int64_t first = dayNumber(1800, 1, 1);
    const std::int64_t last = dayNumber(2200, 12, 31);
    CivilDate previous = civilDate(first - 1);
    for (std::int64_t n = first; n <= last; ++n) {
        const CivilDate date = civilDate(n);
        ASSERT_EQ(dayNumber(date.year, date.month, date.day), n);
        const bool sameMonth = date.year == previous.year && date.month == previous.month;
        if (sameMonth) {
            ASSERT_EQ(date.day, previous.day + 1) << n;
        } else {
            ASSERT_EQ(date.day, 1) << n;
        }
        previous = date;
    }
}

TEST(DayDate, FebruaryLengthFollowsTheGregorianLeapRule) {
    const struct {
        int year;
        int februaryDays;
    } cases[] = {{1900, 28}, {1996, 29}, {2000, 29}, {2023, 28}, {2024, 29}, {2100, 28}};
    for (const auto& c : cases) {
        EXPECT_EQ(dayNumber(c.year, 3, 1) - dayNumber(c.year, 2, 1), c.februaryDays) << c.year;
    }
}

TEST(DayDate, DayDateCarriesTheTimeOfDayAsFractionWithoutMilliseconds) {
    EXPECT_DOUBLE_EQ(dayDate(fields(2004, 3, 18, 12, 0, 0)), 38064.5);
    EXPECT_DOUBLE_EQ(dayDate(fields(2004, 3, 18, 12, 0, 0, 999)), 38064.5);
    EXPECT_DOUBLE_EQ(dayDate(fields(1899, 12, 30, 6, 0, 0)), 0.25);
    EXPECT_DOUBLE_EQ(dayDate(fields(2026, 12, 6, 23, 59, 59)), 46362 + 86399.0 / 86400);
}

TEST(DayDate, FieldsOfDayDateRoundToTheNearestSecond) {
    const struct {
        double value;
        SystemTime expected;
    } cases[] = {
        {38064.5, fields(2004, 3, 18, 12, 0, 0)},
        {38064.5 + 0.4 / 86400, fields(2004, 3, 18, 12, 0, 0)},
        {38064.5 + 0.6 / 86400, fields(2004, 3, 18, 12, 0, 1)},
        {46387 + 86399.6 / 86400, fields(2027, 1, 1, 0, 0, 0)},  // rounds into the new year
        {-1.0 / 86400, fields(1899, 12, 29, 23, 59, 59)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        SystemTime t = fieldsOfDayDate(c.value);
        EXPECT_EQ(t.dayOfWeek, dayOfWeek(dayNumber(t.year, t.month, t.day)));
        t.dayOfWeek = 0;
        EXPECT_EQ(t, c.expected);
    }
}

TEST(DayDate, NtpSecondsCountFrom1900InUtc) {
    EXPECT_EQ(ntpWholeSeconds(fields(1900, 1, 1)), 0);
    EXPECT_EQ(ntpWholeSeconds(fields(2004, 3, 18, 12, 0, 0, 999)), 3288600000);
    EXPECT_EQ(ntpWholeSeconds(fields(1968, 1, 20, 3, 14, 8)), 2147483648);
    // The first second of the next NTP era is 2^32, not 0.
    EXPECT_EQ(ntpWholeSeconds(fields(2036, 2, 7, 6, 28, 16)), 4294967296);
    EXPECT_DOUBLE_EQ(ntpSeconds(fields(2004, 3, 18, 12, 0, 0, 250)), 3288600000.25);
}

TEST(DayDate, SecondsSinceMidnightIncludeMilliseconds) {
    EXPECT_FLOAT_EQ(secondsSinceMidnight(fields(2026, 12, 6, 0, 0, 0)), 0.0F);
    EXPECT_FLOAT_EQ(secondsSinceMidnight(fields(2026, 12, 6, 23, 58, 0, 500)), 86280.5F);
}

TEST(SystemTimeRecord, OnlyCalendarDatesAndInRangeFieldsAreValid) {
    const struct {
        SystemTime time;
        bool valid;
    } cases[] = {
        {fields(2024, 2, 29, 23, 59, 59, 999), true},
        {fields(2023, 2, 29), false},
        {fields(2000, 2, 29), true},
        {fields(2100, 2, 29), false},
        {fields(2026, 4, 31), false},
        {fields(2026, 13, 1), false},
        {fields(2026, 0, 1), false},
        {fields(2026, 1, 0), false},
        {fields(2026, 1, 1, 24, 0, 0), false},
        {fields(2026, 1, 1, 0, 60, 0), false},
        {fields(2026, 1, 1, 0, 0, 60), false},
        {fields(2026, 1, 1, 0, 0, 0, 1000), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isValid(c.time), c.valid)
            << c.time.year << "-" << c.time.month << "-" << c.time.day << " " << c.time.hour << ":"
            << c.time.minute << ":" << c.time.second << "." << c.time.milliseconds;
    }
}

}  // namespace
}  // namespace korvel
