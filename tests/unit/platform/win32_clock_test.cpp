#include "platform/win32/win32_clock.h"

#include <gtest/gtest.h>

namespace korvel::test {
namespace {

// FILETIME of 1970-01-01 00:00:00 UTC, a Thursday.
constexpr std::uint64_t kUnixEpoch = 116'444'736'000'000'000;

// Readings are rounded to the millisecond, carrying up through the date.
TEST(Win32Clock, ReadingsRoundToTheNearestMillisecond) {
    const struct {
        std::uint64_t fileTime;
        SystemTime utc;
    } cases[] = {
        {kUnixEpoch + 4'999, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {kUnixEpoch + 5'000, {1970, 1, 4, 1, 0, 0, 0, 1}},
        {kUnixEpoch - 1, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {kUnixEpoch - 5'001, {1969, 12, 3, 31, 23, 59, 59, 999}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utcOfFileTime(c.fileTime), c.utc) << c.fileTime;
    }
}

}  // namespace
}  // namespace korvel::test
