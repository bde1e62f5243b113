#include "common/text_forms.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "common/day_date.h"

namespace korvel {
namespace {

SystemTime fields(int year, int month, int day, int hour, int minute, int second) {
    SystemTime t;
    t.year = static_cast<std::uint16_t>(year);
    t.month = static_cast<std::uint16_t>(month);
    t.day = static_cast<std::uint16_t>(day);
    t.hour = static_cast<std::uint16_t>(hour);
    t.minute = static_cast<std::uint16_t>(minute);
    t.second = static_cast<std::uint16_t>(second);
    return t;
}

TEST(TextForms, LogDateIsMonthDayYearWithLeadingZeros) {
    EXPECT_EQ(logDateText(fields(2026, 12, 6, 9, 5, 7)), "12-06-2026");
    EXPECT_EQ(logDateText(fields(2027, 1, 1, 0, 0, 0)), "01-01-2027");
}

TEST(TextForms, LogTimeIsTwentyFourHourWithLeadingZeros) {
    EXPECT_EQ(logTimeText(fields(2026, 12, 6, 9, 5, 7)), "09:05:07");
    EXPECT_EQ(logTimeText(fields(2026, 12, 6, 0, 0, 0)), "00:00:00");
    EXPECT_EQ(logTimeText(fields(2026, 12, 6, 23, 59, 59)), "23:59:59");
}

TEST(TextForms, ClockDisplayHasLeadingBlankAndTwoBlanksBeforeTheTime) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {dayDate(fields(2026, 12, 6, 9, 5, 7)), " 2026-12-06  09:05:07"},
        {dayDate(fields(2004, 3, 8, 0, 0, 0)), " 2004-03-08  00:00:00"},
        // The server clock is the local clock plus whole seconds of offset.
        {dayDate(fields(2026, 12, 31, 23, 59, 59)) + 1.0 / 86400, " 2027-01-01  00:00:00"},
        {dayDate(fields(2027, 1, 1, 0, 0, 0)) - 1.0 / 86400, " 2026-12-31  23:59:59"},
        {dayDate(fields(2024, 2, 28, 23, 59, 30)) + 45.0 / 86400, " 2024-02-29  00:00:15"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(clockDisplayText(c.value), c.text);
    }
}

TEST(TextForms, SixDecimalsKeepsOneIntegerDigitAndRounds) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0.0, "0.000000"},
        {1.5, "1.500000"},
        {0.123456, "0.123456"},
        {0.1234567, "0.123457"},
        {-0.25, "-0.250000"},
        {-30.0, "-30.000000"},
        {-1234.5000004, "-1234.500000"},
        {123456789.125, "123456789.125000"},  // no digit grouping
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sixDecimals(c.seconds), c.text) << c.seconds;
    }
}

TEST(TextForms, TenthsAreShownAsHoursWithOneDecimal) {
    const struct {
        int tenths;
        const char* text;
    } cases[] = {{1, "0.1"}, {5, "0.5"}, {10, "1.0"}, {12, "1.2"}};
    for (const auto& c : cases) {
        EXPECT_EQ(tenthsAsHours(c.tenths), c.text) << c.tenths;
    }
}

TEST(TextForms, HalvesRoundToTheEvenNeighbour) {
    const struct {
        double value;
        double rounded;
    } cases[] = {{0.5, 0.0},   {1.5, 2.0},    {2.5, 2.0},    {-0.5, 0.0},    {-1.5, -2.0},
                 {-2.5, -2.0}, {2.4999, 2.0}, {2.5001, 3.0}, {999.5, 1000.0}};
    for (const auto& c : cases) {
        EXPECT_EQ(roundHalfEven(c.value), c.rounded) << c.value;
    }
}

}  // namespace
}  // namespace korvel
