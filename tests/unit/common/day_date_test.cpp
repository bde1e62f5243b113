#include "common/day_date.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "support/virtual_time.h"

namespace korvel {
namespace {

using test::utcTime;

// Day numbers and weekdays checked against an independent calendar. The days around the end
// of February cover the leap rules of 1900, 2000, 2023, 2024 and 2100.
TEST(DayDate, KnownDaysHaveTheirNumberWeekdayAndComeBack) {
    const struct {
        int year, month, day;
        std::int64_t number;
        int weekday;  // 0 = Sunday
    } cases[] = {
        {1800, 1, 1, -36522, 3}, {1899, 12, 30, 0, 6},   {1900, 1, 1, 2, 1},
        {1900, 2, 28, 60, 3},    {1900, 3, 1, 61, 4},    {2000, 2, 29, 36585, 2},
        {2000, 3, 1, 36586, 3},  {2023, 3, 1, 44986, 3}, {2024, 2, 29, 45351, 4},
        {2100, 2, 28, 73109, 0}, {2100, 3, 1, 73110, 1}, {9999, 12, 31, 2958465, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
        EXPECT_EQ(dayNumber(c.year, c.month, c.day), c.number);
        EXPECT_EQ(dayOfWeek(c.number), c.weekday);
        const auto [year, month, day] = civilDate(c.number);
        EXPECT_EQ((std::array{year, month, day}), (std::array{c.year, c.month, c.day}));
    }
}

// A clock reading in nanoseconds since 1970: its record is rounded to the millisecond,
// carrying up through the date; its NTP seconds keep the microseconds, and the record's NTP
// seconds differ from them by that rounding only.
TEST(DayDate, NanosecondReadingsGiveRoundedRecordsAndExactNtpSeconds) {
    constexpr std::int64_t k20240517At123456 = 1'715'949'296'000'000'000;
    const struct {
        std::int64_t unixNs;
        SystemTime utc;
        double ntp;
    } cases[] = {
        {k20240517At123456 + 499'999, utcTime(2024, 5, 17, 12, 34, 56, 0), 3924938096.000499999},
        {k20240517At123456 + 500'000, utcTime(2024, 5, 17, 12, 34, 56, 1), 3924938096.0005},
        {k20240517At123456 + 999'499'999, utcTime(2024, 5, 17, 12, 34, 56, 999),
         3924938096.999499999},
        {k20240517At123456 + 999'500'000, utcTime(2024, 5, 17, 12, 34, 57, 0), 3924938096.9995},
        {1'704'067'199'999'600'000, utcTime(2024, 1, 1, 0, 0, 0, 0), 3913055999.9996},
        {0, utcTime(1970, 1, 1, 0, 0, 0), 2208988800.0},
        {-500'001, utcTime(1969, 12, 31, 23, 59, 59, 999), 2208988799.999499999},
        // The NTP era changes; the seconds go on.
        {2'085'978'496'000'000'001, utcTime(2036, 2, 7, 6, 28, 16), 4294967296.000000001},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unixNs);
        EXPECT_EQ(utcOfUnixNs(c.unixNs), c.utc);
        EXPECT_NEAR(ntpSecondsOfUnixNs(c.unixNs), c.ntp, 5e-7);
        EXPECT_NEAR(ntpSeconds(c.utc), c.ntp, 5.01e-4);
    }
}

TEST(DayDate, CorrectedTimeCarriesIntoTheDateAndRoundsMilliseconds) {
    const auto at = utcTime;
    const struct {
        const char* what;
        SystemTime utc;
        double offsetSec;
        SystemTime expected;
    } cases[] = {
        {"into a new year", at(2026, 12, 31, 23, 59, 59, 900), 0.2, at(2027, 1, 1, 0, 0, 0, 100)},
        {"back a year", at(2027, 1, 1, 0, 0, 0, 300), -0.5, at(2026, 12, 31, 23, 59, 59, 800)},
        {"onto a leap day", at(2024, 2, 28, 23, 59, 59, 500), 1.0, at(2024, 2, 29, 0, 0, 0, 500)},
        {"s exactly 86400", at(2026, 12, 6, 23, 59, 59, 0), 1.0, at(2026, 12, 7, 0, 0, 0, 0)},
        {"three days back", at(2026, 12, 6, 12, 0, 0, 0), -259200, at(2026, 12, 3, 12, 0, 0, 0)},
        {"rounded up", at(2026, 12, 6, 10, 0, 0, 0), 0.0999999, at(2026, 12, 6, 10, 0, 0, 100)},
        {"rounded down", at(2026, 12, 6, 10, 0, 0, 0), 0.0994, at(2026, 12, 6, 10, 0, 0, 99)},
        // Milliseconds that round to 1000 carry into the seconds.
        {"carry to a year", at(2026, 12, 31, 23, 59, 59, 0), 0.9998, at(2027, 1, 1, 0, 0, 0, 0)},
        {"carry back", at(2027, 1, 1, 0, 0, 0, 0), -0.0003, at(2027, 1, 1, 0, 0, 0, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SystemTime expected = c.expected;
        expected.dayOfWeek = c.utc.dayOfWeek;  // passed on as it was read
        EXPECT_EQ(correctedTime(c.utc, c.offsetSec), expected);
    }
}

}  // namespace
}  // namespace korvel
