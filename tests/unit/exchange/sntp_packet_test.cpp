#include "exchange/sntp_packet.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "support/virtual_time.h"

namespace korvel {
namespace {

using test::utcTime;

constexpr double kTwoTo32 = 4294967296.0;

TEST(SntpPacket, HostBytesHoldEachWordLittleEndianAfterTheFourSingleBytes) {
    SntpPacket packet;
    packet.liVnMode = 0x24;
    packet.stratum = 2;
    packet.poll = 6;
    packet.precision = 0xEC;
    packet.rootDelay = 0x01020304;
    packet.transmitSeconds = asWord(0xC4040DC0);
    packet.transmitFraction = -1;
    const PacketBytes bytes = hostBytes(packet);
    EXPECT_EQ(bytes[0], 0x24);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(bytes[2], 6);
    EXPECT_EQ(bytes[3], 0xEC);
    EXPECT_EQ((PacketBytes{bytes[4], bytes[5], bytes[6], bytes[7]}),
              (PacketBytes{0x04, 0x03, 0x02, 0x01}));
    EXPECT_EQ(bytes[40], 0xC0);
    EXPECT_EQ(bytes[43], 0xC4);
    for (std::size_t i = 44; i < 48; ++i) {
        EXPECT_EQ(bytes[i], 0xFF);
    }
}

TEST(SntpPacket, HostBytesAndPacketRoundTrip) {
    PacketBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    EXPECT_EQ(hostBytes(packetFromHostBytes(bytes)), bytes);
}

TEST(SntpPacket, SwapReversesEachWordAndLeavesTheFirstFourBytes) {
    PacketBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    PacketBytes swapped = bytes;
    swapByteOrder(swapped);
    EXPECT_EQ(swapped[0], 0);
    EXPECT_EQ(swapped[3], 3);
    for (std::size_t word = 4; word < 48; word += 4) {
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(swapped[word + i], word + 3 - i);
        }
    }
    swapByteOrder(swapped);
    EXPECT_EQ(swapped, bytes);
}

TEST(SntpPacket, TimestampOfAClockReading) {
    const struct {
        SystemTime utc;
        std::uint32_t seconds;
        std::uint32_t fraction;
    } cases[] = {
        {utcTime(2004, 3, 18, 12, 0, 0, 0), 0xC4040DC0, 0},
        {utcTime(2004, 3, 18, 12, 0, 0, 1), 0xC4040DC0, 4294967},
        {utcTime(2004, 3, 18, 12, 0, 0, 500), 0xC4040DC0, 2147483648},
        {utcTime(2004, 3, 18, 12, 0, 0, 999), 0xC4040DC0, 4290672329},
        {utcTime(1968, 1, 20, 3, 14, 8, 0), 0x80000000, 0},
        {utcTime(2036, 2, 7, 6, 28, 15, 0), 0xFFFFFFFF, 0},
        // The next era goes on the wire modulo 2^32.
        {utcTime(2036, 2, 7, 6, 28, 17, 0), 1, 0},
    };
    for (const auto& c : cases) {
        const NtpTimestamp stamp = ntpTimestamp(c.utc);
        EXPECT_EQ(stamp.seconds, c.seconds) << c.utc.year;
        EXPECT_EQ(stamp.fraction, c.fraction) << c.utc.milliseconds;
    }
}

TEST(SntpPacket, UnwrapTakesTheEraNearestTheLocalClock) {
    const double era1 = kTwoTo32;
    const struct {
        NtpTimestamp stamp;
        double near;
        double expected;
    } cases[] = {
        {{0xC4040DC0, 0x80000000}, 3288600000.0, 3288600000.5},
        {{0x80000000, 0}, 2147483700.0, 2147483648.0},  // never negative
        {{0xFFFFFFF6, 0}, era1 + 10, era1 - 10},        // server still before the era change
        {{5, 0}, era1 - 5, era1 + 5},                   // server already past it
        {{5, 0}, era1 + 3, era1 + 5},
        {{0xFFFFFFFF, 0}, era1 - 2, era1 - 1},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(unwrapNtpSeconds(c.stamp, c.near), c.expected)
            << c.stamp.seconds << " near " << c.near;
    }
}

TEST(SntpPacket, RequestIsVersion4ClientWithTheTransmitTime) {
    const SntpPacket p = requestPacket({0xC4040DC0, 0x80000000});
    EXPECT_EQ(p.liVnMode, 0x23);
    EXPECT_EQ(p.stratum, 1);
    EXPECT_EQ(p.poll, 0);
    EXPECT_EQ(p.precision, 0xEE);
    EXPECT_EQ(p.referenceId, 0x41435453);
    EXPECT_EQ(p.rootDelay, 0);
    EXPECT_EQ(p.rootDispersion, 0);
    EXPECT_EQ(originateOf(p), NtpTimestamp{});
    EXPECT_EQ(receiveOf(p), NtpTimestamp{});
    EXPECT_EQ(p.transmitSeconds, -1006367296);
    EXPECT_EQ(transmitOf(p), (NtpTimestamp{0xC4040DC0, 0x80000000}));
}

}  // namespace
}  // namespace korvel
