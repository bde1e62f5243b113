#include "sntp/sntp_packet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "support/virtual_time.h"

namespace korvel {
namespace {

using test::utcTime;

TEST(SntpPacket, TimestampOfAClockReadingGoesOnTheWireModulo2To32) {
    for (const auto& [utc, stamp] : std::vector<std::pair<SystemTime, NtpTimestamp>>{
             {utcTime(2004, 3, 18, 12, 0, 0, 1), {0xC4040DC0, 4294967}},
             {utcTime(2004, 3, 18, 12, 0, 0, 500), {0xC4040DC0, 2147483648}},
             {utcTime(2004, 3, 18, 12, 0, 0, 999), {0xC4040DC0, 4290672329}},
             {utcTime(1968, 1, 20, 3, 14, 8, 0), {0x80000000, 0}},
             {utcTime(2036, 2, 7, 6, 28, 15, 0), {0xFFFFFFFF, 0}},
             {utcTime(2036, 2, 7, 6, 28, 17, 0), {1, 0}}}) {
        EXPECT_EQ(ntpTimestamp(utc), stamp) << utc.year << " " << utc.milliseconds;
    }
}

}  // namespace
}  // namespace korvel
