#include "platform/win32/win32_clock.h"

#include <gtest/gtest.h>

namespace korvel::test {
namespace {

// FILETIME of 1970-01-01 00:00:00 UTC, a Thursday.
constexpr std::uint64_t kUnixEpoch = 116'444'736'000'000'000;

// Records are rounded to the millisecond, carrying up through the date; measuring readings
// keep the 100 ns units.
TEST(Win32Clock, ReadingsRoundToTheNearestMillisecondOrKeepTheirUnits) {
    const struct {
        std::uint64_t fileTime;
        SystemTime utc;
        std::int64_t unixNs;
    } cases[] = {
        {kUnixEpoch + 4'999, {1970, 1, 4, 1, 0, 0, 0, 0}, 499'900},
        {kUnixEpoch + 5'000, {1970, 1, 4, 1, 0, 0, 0, 1}, 500'000},
        {kUnixEpoch - 1, {1970, 1, 4, 1, 0, 0, 0, 0}, -100},
        {kUnixEpoch - 5'001, {1969, 12, 3, 31, 23, 59, 59, 999}, -500'100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utcOfFileTime(c.fileTime), c.utc) << c.fileTime;
        EXPECT_EQ(unixNsOfFileTime(c.fileTime), c.unixNs) << c.fileTime;
    }
}

}  // namespace
}  // namespace korvel::test
