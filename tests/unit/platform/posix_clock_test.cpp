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
        long nanoseconds;
        int second;
        int milliseconds;
    } cases[] = {
        {0, 56, 0},
        {499'999, 56, 0},
        {500'000, 56, 1},
        {123'456'789, 56, 123},
        {123'500'000, 56, 124},
        {999'499'999, 56, 999},
        {999'500'000, 57, 0},  // carries into the next second
        {999'600'000, 57, 0},
        {999'999'999, 57, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utcOfReading({k20240517At123456, c.nanoseconds}),
                  utcTime(2024, 5, 17, 12, 34, c.second, c.milliseconds))
            << c.nanoseconds;
    }
}

TEST(PosixClock, RoundingUpCarriesIntoTheNextYear) {
    EXPECT_EQ(utcOfReading({k20231231At235959, 999'600'000}), utcTime(2024, 1, 1, 0, 0, 0, 0));
}

}  // namespace
}  // namespace korvel
