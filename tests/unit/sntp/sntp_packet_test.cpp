#include "sntp/sntp_packet.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "support/virtual_time.h"

namespace korvel {
namespace {

using test::utcTime;

TEST(SntpPacket, TimestampOfAClockReadingGoesOnTheWireModulo2To32) {
    const struct {
        SystemTime utc;
        NtpTimestamp stamp;
    } cases[] = {
        {utcTime(2004, 3, 18, 12, 0, 0, 1), {0xC4040DC0, 4294967}},
        {utcTime(2004, 3, 18, 12, 0, 0, 500), {0xC4040DC0, 2147483648}},
        {utcTime(2004, 3, 18, 12, 0, 0, 999), {0xC4040DC0, 4290672329}},
        {utcTime(1968, 1, 20, 3, 14, 8, 0), {0x80000000, 0}},
        {utcTime(2036, 2, 7, 6, 28, 15, 0), {0xFFFFFFFF, 0}},
        {utcTime(2036, 2, 7, 6, 28, 17, 0), {1, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ntpTimestamp(c.utc), c.stamp) << c.utc.year << " " << c.utc.milliseconds;
    }
}

}  // namespace
}  // namespace korvel
