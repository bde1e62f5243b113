#include "platform/posix/posix_clock.h"

#include <gtest/gtest.h>

#include "common/day_date.h"

namespace korvel {
namespace {

// The measuring readings keep what the clock resolves below the millisecond, and name the
// same moment as the clock record read beside them.
TEST(PosixClock, PairedReadingsKeepTheClocksFullResolution) {
    PosixClock clock;
    EXPECT_GE(clock.readingResolutionNs(), 1);
    EXPECT_LT(clock.readingResolutionNs(), 1'000);
    bool belowMillisecond = false;
    for (int i = 0; i < 5; ++i) {
        const PairedReading reading = clock.readPaired();
        belowMillisecond = belowMillisecond || reading.utcNs % 1'000'000 != 0;
        EXPECT_NEAR(ntpSeconds(clock.getSystemTime()), ntpSecondsOfUnixNs(reading.utcNs), 1.0);
    }
    EXPECT_TRUE(belowMillisecond);
}

}  // namespace
}  // namespace korvel
