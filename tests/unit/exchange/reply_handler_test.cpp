#include "exchange/reply_handler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "calibration/measure_command.h"
#include "common/day_date.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::FakeSntpServer;
using test::TestRig;
using test::utcTime;
using testing::StartsWith;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kServer = FakeSntpServer::kAddress;

// A burst whose first request has gone out and which nobody answers by itself; the test
// delivers the replies.
struct OneRequestSent {
    explicit OneRequestSent(const SystemTime& utcStart = utcTime(2026, 12, 6, 1, 5, 7))
        : rig(utcStart) {
        rig.prepareExchange();
        rig.server.drop = [](int) { return true; };
        measureCommand(*rig.form);
        rig.time.advance(100);
        request = rig.socket.sent().at(0);
    }

    // What a well-behaved server sends back: version 4, server mode, stratum 2, our transmit
    // time as originate, its clock (serverAheadMs ahead of ours) as receive and transmit.
    Bytes reply(double serverAheadMs = 0.0) const {
        Bytes bytes(48, 0);
        bytes[0] = 0x24;
        bytes[1] = 2;
        bytes[3] = 0xEC;
        std::copy_n(request.begin() + 40, 8, bytes.begin() + 24);
        const double serverMs = static_cast<double>(rig.time.utcMs()) + serverAheadMs;
        FakeSntpServer::putTimestamp(bytes, 32, serverMs);
        FakeSntpServer::putTimestamp(bytes, 40, serverMs);
        return bytes;
    }

    void deliver(Bytes bytes, const std::string& host = kServer, std::int32_t port = 123) {
        rig.socket.deliver(std::move(bytes), host, port);
        rig.time.advance(1);
    }

    const ReplyRecord& record(std::size_t index) const { return rig.form->replyRecords[index]; }

    TestRig rig;
    Bytes request;
};

void put(Bytes& bytes, std::size_t at, std::initializer_list<std::uint8_t> values) {
    std::copy(values.begin(), values.end(), bytes.begin() + static_cast<long>(at));
}

TEST(ReplyHandler, ReplyBecomesTheNextRecordWithFourTimes) {
    OneRequestSent burst;
    burst.rig.time.advance(6);
    Bytes reply = burst.reply(2500.0);
    burst.deliver(reply);
    EXPECT_EQ(burst.rig.form->repliesReceived, 1);
    const ReplyRecord& r = burst.record(1);
    // Sent at 01:05:07.100, answered and arrived at .106 from a server 2.5 s ahead.
    const double sent = ntpSeconds(utcTime(2026, 12, 6, 1, 5, 7, 100));
    EXPECT_DOUBLE_EQ(r.t1, sent);
    EXPECT_NEAR(r.t2, sent + 2.506, 1e-6);
    EXPECT_NEAR(r.t3, sent + 2.506, 1e-6);
    EXPECT_NEAR(r.t4, sent + 0.006, 1e-6);
    EXPECT_EQ(r.invalid, 0);
    EXPECT_EQ(burst.rig.form->arrivalTime, utcTime(2026, 12, 6, 1, 5, 7, 106));
}

TEST(ReplyHandler, ArrivalTimeIsReadBeforeTheScratchFileRoundTrip) {
    OneRequestSent burst;
    burst.rig.time.advance(6);
    // Every scratch-file access takes 2 ms of wall-clock time.
    burst.rig.files.onByteAccess = [&] { burst.rig.time.stepWallClock(2); };
    burst.deliver(burst.reply());
    ASSERT_EQ(burst.rig.form->repliesReceived, 1);
    EXPECT_EQ(burst.rig.form->arrivalTime, utcTime(2026, 12, 6, 1, 5, 7, 106));
    EXPECT_NEAR(burst.record(1).t4, ntpSeconds(utcTime(2026, 12, 6, 1, 5, 7, 106)), 1e-6);
}

TEST(ReplyHandler, FirstByteOf96OrMoreFlagsTheReply) {
    const struct {
        std::uint8_t firstByte;
        std::int16_t invalid;
    } cases[] = {
        {0x24, 0},  // leap 0, version 4
        {0x64, 1},  // leap 1, version 4
        {0x5C, 0},  // leap 1, version 3
        {0xE4, 1},  // leap 3 (clock not synchronised)
    };
    for (const auto& c : cases) {
        OneRequestSent burst;
        Bytes reply = burst.reply();
        reply[0] = c.firstByte;
        burst.deliver(reply);
        ASSERT_EQ(burst.rig.form->repliesReceived, 1) << int{c.firstByte};
        EXPECT_EQ(burst.record(1).invalid, c.invalid) << int{c.firstByte};
    }
}

TEST(ReplyHandler, TransmitTimestampIsReadAsUnsignedSecondsPlusFraction) {
    OneRequestSent burst(utcTime(2004, 3, 18, 11, 59, 59, 900));
    Bytes reply = burst.reply();
    put(reply, 40, {0xC4, 0x04, 0x0D, 0xC0, 0x80, 0x00, 0x00, 0x00});
    burst.deliver(reply);
    ASSERT_EQ(burst.rig.form->repliesReceived, 1);
    EXPECT_DOUBLE_EQ(burst.record(1).t3, 3288600000.5);
}

TEST(ReplyHandler, OriginateWithTheTopBitSetGivesNoNegativeSeconds) {
    // The request leaves at 1968-01-20 03:14:08.000 UTC: NTP seconds 2^31.
    OneRequestSent burst(utcTime(1968, 1, 20, 3, 14, 7, 900));
    Bytes reply = burst.reply(250.0);
    ASSERT_EQ(reply[24], 0x80);
    burst.deliver(reply);
    ASSERT_EQ(burst.rig.form->repliesReceived, 1);
    EXPECT_DOUBLE_EQ(burst.record(1).t1, 2147483648.0);
    EXPECT_NEAR(burst.record(1).t3, 2147483648.25, 1e-6);
}

TEST(ReplyHandler, DatagramsOfAnotherSizeAreNotReadAndChangeNothing) {
    for (const std::size_t size : {std::size_t{47}, std::size_t{68}, std::size_t{0}}) {
        OneRequestSent burst;
        Bytes datagram = burst.reply();
        datagram.resize(size, 0);
        burst.deliver(datagram);
        EXPECT_EQ(burst.rig.socket.reads, 0) << size;
        EXPECT_EQ(burst.rig.form->repliesReceived, 0) << size;
        EXPECT_EQ(burst.record(1).t1, 0.0) << size;
        // The request is still open for its real reply.
        burst.deliver(burst.reply());
        EXPECT_EQ(burst.rig.form->repliesReceived, 1) << size;
    }
}

// Datagrams that must not count as replies. Each is dropped without a trace, and the
// request it claims to answer still takes its genuine reply afterwards.
TEST(ReplyHandler, DropsDatagramsThatAreNotAGenuineReplyToAnOpenRequest) {
    const struct {
        const char* what;
        std::string host;
        std::int32_t port;
        std::function<void(Bytes&)> change;
    } cases[] = {
        {"from another address", "192.0.2.99", 123, [](Bytes&) {}},
        {"from another port", kServer, 1123, [](Bytes&) {}},
        {"originate one fraction unit off", kServer, 123, [](Bytes& b) { b[31] ^= 0x01; }},
        {"originate one second off", kServer, 123, [](Bytes& b) { b[27] ^= 0x01; }},
        {"Kiss-o'-Death (stratum 0)", kServer, 123, [](Bytes& b) { b[1] = 0; }},
        {"client mode", kServer, 123, [](Bytes& b) { b[0] = 0x23; }},
        {"broadcast mode", kServer, 123, [](Bytes& b) { b[0] = 0x25; }},
        {"symmetric active mode", kServer, 123, [](Bytes& b) { b[0] = 0x21; }},
        {"zero transmit timestamp", kServer, 123,
         [](Bytes& b) { std::fill(b.begin() + 40, b.end(), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OneRequestSent burst;
        Bytes forged = burst.reply(-30'000.0);
        c.change(forged);
        burst.deliver(forged, c.host, c.port);
        EXPECT_EQ(burst.rig.form->repliesReceived, 0);
        EXPECT_EQ(burst.record(1).t3, 0.0);

        burst.deliver(burst.reply());
        EXPECT_EQ(burst.rig.form->repliesReceived, 1);
        EXPECT_NEAR(burst.record(1).t3 - burst.record(1).t4, 0.0, 1e-6);
    }
}

// An unsynchronised server's replies count as flagged, so four of them reject the burst.
TEST(ReplyHandler, FlagsRepliesOfStratum16AndAbove) {
    for (const auto& [stratum, flagged] : {std::pair{1, 0}, {15, 0}, {16, 1}, {255, 1}}) {
        SCOPED_TRACE(stratum);
        OneRequestSent burst;
        Bytes reply = burst.reply();
        reply[1] = static_cast<std::uint8_t>(stratum);
        burst.deliver(reply);
        EXPECT_EQ(burst.rig.form->repliesReceived, 1);
        EXPECT_EQ(burst.record(1).invalid, flagged);
    }
}

TEST(ReplyHandler, SecondReplyToTheSameRequestIsDropped) {
    OneRequestSent burst;
    const Bytes reply = burst.reply();
    burst.deliver(reply);
    burst.deliver(reply);
    EXPECT_EQ(burst.rig.form->repliesReceived, 1);
    EXPECT_EQ(burst.record(2).t1, 0.0);
}

TEST(ReplyHandler, ReplyToARequestOfAnEarlierBurstIsDropped) {
    OneRequestSent burst;
    const Bytes late = burst.reply();
    measureCommand(*burst.rig.form);
    burst.deliver(late);
    EXPECT_EQ(burst.rig.form->repliesReceived, 0);
}

TEST(ReplyHandler, ReplyIsDroppedWhenTheScratchFileFails) {
    OneRequestSent burst;
    burst.rig.files.failByteAccess = true;
    burst.deliver(burst.reply());
    EXPECT_EQ(burst.rig.form->repliesReceived, 0);
    EXPECT_EQ(burst.record(1).t4, 0.0);

    burst.rig.files.failByteAccess = false;
    burst.deliver(burst.reply());
    EXPECT_EQ(burst.rig.form->repliesReceived, 1);
}

TEST(ReplyHandler, TwentyFifthReplyEvaluatesTheBurst) {
    TestRig rig;
    rig.prepareExchange();
    rig.server.offsetMs = 1234.5;
    rig.server.requestDelayMs = 4;
    rig.server.replyDelayMs = 6;
    measureCommand(*rig.form);

    // Requests leave every 100 ms from 100 ms on; the 25th reply arrives at 2510 ms.
    rig.time.advance(2509);
    EXPECT_EQ(rig.form->repliesReceived, 24);
    EXPECT_EQ(rig.beeper.beeps, 0);
    rig.time.advance(1);
    MainForm& form = *rig.form;
    EXPECT_EQ(form.repliesReceived, 0);
    EXPECT_EQ(form.evaluatedReplies, 25);
    EXPECT_EQ(rig.beeper.beeps, 1);
    EXPECT_FALSE(form.Timer2->isRunning());
    // The path is 4 ms out and 6 ms back: the midpoint estimate is 1 ms short.
    EXPECT_NEAR(form.offsetSec, 1.2335, 1e-5);
    EXPECT_THAT(form.Text3.text(), StartsWith(" 1.2335"));
    EXPECT_EQ(form.Text3.foreColor(), kGreen);
    EXPECT_TRUE(form.offsetValid);
    EXPECT_TRUE(form.Command6.isEnabled());
    EXPECT_TRUE(form.Command5.isEnabled());
    EXPECT_TRUE(form.Timer3->isRunning());
    EXPECT_TRUE(rig.time.clockSets().empty());

    // Replies to the last five requests start a new count; the time-out never comes.
    rig.time.advance(10'000);
    EXPECT_EQ(form.repliesReceived, 5);
    EXPECT_EQ(rig.beeper.beeps, 1);
    EXPECT_EQ(form.Text1.text(), "");
}

// Timestamps travel modulo 2^32 and are read in the era nearest the local clock, so the
// offset stays right when the local clock, the server or both have passed
// 2036-02-07 06:28:16 UTC.
TEST(ReplyHandler, OffsetIsRightAcrossTheNtpEraChange) {
    const struct {
        const char* what;
        SystemTime utcStart;
        double serverAheadMs;
    } cases[] = {
        {"local before, server after", utcTime(2036, 2, 7, 6, 27, 0), 120'000.0},
        {"local after, server before", utcTime(2036, 2, 7, 6, 30, 0), -120'000.0},
        {"local crosses during the burst", utcTime(2036, 2, 7, 6, 28, 14, 500), 750.0},
        {"server crosses during the burst", utcTime(2036, 2, 7, 6, 28, 12), 2'500.0},
        {"both in the next era", utcTime(2040, 1, 1, 0, 0, 0), -2'500.0},
        {"both before", utcTime(2036, 2, 7, 6, 0, 0), 3'250.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestRig rig(c.utcStart);
        rig.prepareExchange();
        rig.server.offsetMs = c.serverAheadMs;
        rig.measure(2600);
        EXPECT_EQ(rig.form->evaluatedReplies, 25);
        EXPECT_NEAR(rig.form->offsetSec, c.serverAheadMs / 1000.0, 1e-5);
    }
}

}  // namespace
}  // namespace korvel
