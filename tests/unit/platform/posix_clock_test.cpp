#include "platform/posix/posix_clock.h"

#include <gtest/gtest.h>

#include "support/virtual_time.h"

namespace korvel {
namespace {

using test::utcTime;

// Seconds since 1970-01-01 UTC.
constexpr time_t k20240517At123456 = 1715949296;
constexpr time_t k20231231At235959 = 1704067199;

TEST(PosixClock, ReadingIsRoundedToTheNearestMillisecond) {
    const struct {
        time_t seconds;
        long nanoseconds;
        SystemTime utc;
    } cases[] = {
        {k20240517At123456, 0, utcTime(2024, 5, 17, 12, 34, 56, 0)},
        {k20240517At123456, 499'999, utcTime(2024, 5, 17, 12, 34, 56, 0)},
        {k20240517At123456, 500'000, utcTime(2024, 5, 17, 12, 34, 56, 1)},
        {k20240517At123456, 123'456'789, utcTime(2024, 5, 17, 12, 34, 56, 123)},
        {k20240517At123456, 123'500'000, utcTime(2024, 5, 17, 12, 34, 56, 124)},
        {k20240517At123456, 999'499'999, utcTime(2024, 5, 17, 12, 34, 56, 999)},
        // Rounding up carries into the next second, and on into the next year.
        {k20240517At123456, 999'500'000, utcTime(2024, 5, 17, 12, 34, 57, 0)},
        {k20240517At123456, 999'999'999, utcTime(2024, 5, 17, 12, 34, 57, 0)},
        {k20231231At235959, 999'600'000, utcTime(2024, 1, 1, 0, 0, 0, 0)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utcOfReading({c.seconds, c.nanoseconds}), c.utc)
            << c.seconds << " " << c.nanoseconds;
    }
}

}  // namespace
}  // namespace korvel
