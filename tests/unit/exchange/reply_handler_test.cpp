#include "exchange/burst_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "calibration/measure_command.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::FakeSntpServer;
using test::TestRig;
using test::utcTime;
using Bytes = std::vector<std::uint8_t>;

// A burst whose first request has gone out; the test delivers the replies.
struct OneRequestSent {
    OneRequestSent() {
        rig.startSilentBurst();
        rig.time.advance(100);
        request = rig.socket.sent().at(0);
    }

    // A well-behaved server's reply, its clock serverAheadMs ahead of ours.
    Bytes reply(double serverAheadMs = 0.0) const {
        return FakeSntpServer::reply(request,
                                     static_cast<double>(rig.time.utcMs()) + serverAheadMs);
    }

    void deliver(Bytes bytes) {
        rig.socket.deliver(std::move(bytes), FakeSntpServer::kAddress, 123);
        rig.time.advance(1);
    }

    int received() const { return rig.form->engine.repliesReceived(); }
    const ReplyRecord& record(std::size_t index) const { return rig.form->engine.records()[index]; }

    TestRig rig;
    Bytes request;
};

// A leap alarm (first byte 96 or more), an unsynchronised server (stratum 16 and above) and a
// server time from before this version was made flag the reply; four flagged replies reject a
// burst.
TEST(ReplyHandler, FlagsLeapAlarmsUnsynchronisedServersAndTimesBeforeThisVersion) {
    constexpr double k1995 = -1e12;  // ms behind ours
    // The first byte, the stratum, how far the server is ahead in ms, the flag.
    const std::tuple<std::uint8_t, std::uint8_t, double, std::int16_t> cases[] = {
        {0x24, 2, 0, 0}, {0x64, 2, 0, 1},  {0x5C, 2, 0, 0},  // leap 1 of version 3 is below 96
        {0xE4, 2, 0, 1}, {0x24, 15, 0, 0}, {0x24, 16, 0, 1}, {0x24, 255, 0, 1}, {0x24, 2, k1995, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        const auto& [firstByte, stratum, serverAheadMs, invalid] = c;
        OneRequestSent burst;
        Bytes reply = burst.reply(serverAheadMs);
        reply[0] = firstByte;
        reply[1] = stratum;
        burst.deliver(reply);
        ASSERT_EQ(burst.received(), 1);
        EXPECT_EQ(burst.record(1).invalid, invalid);
    }
}

// Adds to the big-endian word at byte at.
void addToWord(Bytes& b, std::size_t at, std::uint32_t delta) {
    const std::uint32_t word =
        (std::uint32_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]) + delta;
    for (std::size_t i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(word >> (24 - 8 * i));
    }
}

// Datagrams that must not count as replies. Each is dropped without a trace, and the
// request it claims to answer still takes its genuine reply afterwards.
TEST(ReplyHandler, DropsDatagramsThatAreNotAGenuineReplyToAnOpenRequest) {
    constexpr std::uint32_t kTwoMs = 8'589'935;  // fraction units
    const struct {
        const char* what;
        std::function<void(Bytes&)> change;
    } cases[] = {
        {"originate one fraction unit off", [](Bytes& b) { b[31] ^= 0x01; }},
        {"originate one second off", [](Bytes& b) { b[27] ^= 0x01; }},
        {"Kiss-o'-Death (stratum 0)", [](Bytes& b) { b[1] = 0; }},
        {"client mode", [](Bytes& b) { b[0] = 0x23; }},
        {"broadcast mode", [](Bytes& b) { b[0] = 0x25; }},
        {"receive seconds 0", [](Bytes& b) { std::fill_n(b.begin() + 32, 4, 0); }},
        {"transmit seconds 0", [](Bytes& b) { std::fill_n(b.begin() + 40, 4, 0); }},
        {"transmit before receive", [](Bytes& b) { addToWord(b, 32, 1); }},
        {"transmit 100 s after receive", [](Bytes& b) { addToWord(b, 40, 100); }},
        {"delay below zero beyond the resolution", [](Bytes& b) { addToWord(b, 44, kTwoMs); }},
        {"47 bytes", [](Bytes& b) { b.resize(47); }},
        {"68 bytes", [](Bytes& b) { b.resize(68); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OneRequestSent burst;
        Bytes forged = burst.reply(-30'000.0);
        c.change(forged);
        burst.deliver(forged);
        EXPECT_EQ(std::pair(burst.received(), burst.record(1).t3), std::pair(0, 0.0));

        burst.deliver(burst.reply());
        EXPECT_EQ(burst.received(), 1);
        EXPECT_NEAR(burst.record(1).t3 - burst.record(1).t4, 0.0, 1e-6);
    }
}

// A reply may look faster than instant by up to the clock's reading resolution: with readings
// in whole milliseconds the server's half millisecond of holding it outweighs a round trip
// read as 0; with microsecond readings that cannot happen, and such a reply is forged.
TEST(ReplyHandler, CountsAReplyBelowZeroDelayOnlyWithinTheResolution) {
    for (const std::int64_t resolutionNs : {1'000'000, 1'000}) {
        SCOPED_TRACE(resolutionNs);
        OneRequestSent burst;
        burst.rig.time.resolutionNs = resolutionNs;
        Bytes reply = burst.reply();
        addToWord(reply, 44, 2'147'484);  // transmit 0.5 ms after receive
        burst.deliver(reply);
        EXPECT_EQ(burst.received(), resolutionNs > 500'000 ? 1 : 0);
    }
}

// A reply is also dropped while the scratch file fails, once its request was answered, and
// when its request belongs to an earlier burst.
TEST(ReplyHandler, DropsRepliesThatCannotBeReadOrAreNoLongerAwaited) {
    OneRequestSent burst;
    const Bytes reply = burst.reply();
    burst.rig.files.failByteAccess = true;
    burst.deliver(reply);
    EXPECT_EQ(burst.received(), 0);
    burst.rig.files.failByteAccess = false;
    burst.deliver(reply);
    burst.deliver(reply);
    EXPECT_EQ(std::tuple(burst.received(), burst.record(2).t1), std::tuple(1, 0.0));
    measureCommand(*burst.rig.form);
    burst.deliver(reply);
    EXPECT_EQ(burst.received(), 0);
}

// Replies from before a step of the local clock (another time service, a person) are not
// averaged with those after it: the burst is evaluated on the far side of the step. That holds
// for a reply in flight at the step, and for one stamped on arrival before the step but
// handled after it.
TEST(ReplyHandler, BurstIsEvaluatedOnOneSideOfAClockStep) {
    using Case = std::array<std::int64_t, 3>;  // the step, when it comes, how late the handler is
    for (const auto& [stepMs, stepAtMs, handlerLateMs] :
         {Case{5000, 1230, 0}, Case{-5000, 1230, 0}, Case{5000, 1246, 3}, Case{-5000, 1246, 3}}) {
        SCOPED_TRACE(testing::Message() << stepMs << " at " << stepAtMs);
        TestRig rig;
        rig.prepareExchange();
        rig.server.offsetMs = 3250;
        rig.server.replyDelayMs = 40;  // 17.5 ms of bias; the reply to 1.2 s is back at 1.245 s
        rig.socket.handlerLateMs = handlerLateMs;
        measureCommand(*rig.form);
        rig.time.advance(stepAtMs);
        rig.time.stepWallClock(stepMs);
        rig.server.offsetMs -= static_cast<double>(stepMs);
        rig.time.advance(10'000);
        EXPECT_EQ(rig.form->lastBurst.counted, 18);
        EXPECT_NEAR(rig.form->offsetSec, (3232.5 - static_cast<double>(stepMs)) / 1000, 1e-6);
    }
}

// Time the program spends converting a request or a reply, sending it, or waiting for its
// turn to handle a reply, does not count as time on the network: the request's time is read
// as it leaves, replaced by the system's stamp of its leaving, the reply's is the system's
// stamp of its arrival. A stamp that cannot be right (after the reading that follows it,
// before the request left) gives way to the program's own reading, as does the lack of one.
TEST(ReplyHandler, OffsetIsUnbiasedByTimeSpentInTheProgram) {
    const struct {
        const char* what;
        std::int64_t accessMs;  // per scratch-file access, two per conversion
        std::int64_t handlerLateMs;
        std::optional<std::int64_t> stampErrorMs;
        std::int64_t sendLateMs;
        std::optional<std::int64_t> leftStampErrorMs;
        const char* offset;
    } cases[] = {
        {"conversions take time", 1, 0, 0, 0, 0, " 1.234500 秒"},
        {"conversions take time, no stamps", 1, 0, std::nullopt, 0, std::nullopt, " 1.234500 秒"},
        {"handler 3 ms late", 0, 3, 0, 0, 0, " 1.234500 秒"},
        {"handler 3 ms late, no stamps", 0, 3, std::nullopt, 0, std::nullopt, " 1.233000 秒"},
        {"arrival stamp after the handler's reading", 0, 3, 4, 0, 0, " 1.233000 秒"},
        {"arrival stamp before the request left", 0, 3, -20, 0, 0, " 1.233000 秒"},
        {"send 2 ms late", 0, 0, 0, 2, 0, " 1.234500 秒"},
        {"send 2 ms late, no leaving stamp", 0, 0, 0, 2, std::nullopt, " 1.235500 秒"},
        {"leaving stamp after the reading that follows", 0, 0, 0, 2, 1, " 1.235500 秒"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestRig rig;
        rig.prepareExchange();
        rig.server.offsetMs = 1234.5;
        rig.files.onByteAccess = [&] { rig.time.pass(c.accessMs); };
        rig.socket.handlerLateMs = c.handlerLateMs;
        rig.socket.stampErrorMs = c.stampErrorMs;
        rig.socket.sendLateMs = c.sendLateMs;
        rig.socket.leftStampErrorMs = c.leftStampErrorMs;
        rig.measure();
        EXPECT_EQ(rig.form->lastBurst.counted, 25);
        EXPECT_EQ(rig.form->Text3.text(), c.offset);
    }
}

// Timestamps are read in the era nearest the local clock: offsets stay right when the local
// clock, the server or both have passed 2036-02-07 06:28:16 UTC. (Replies stamped in the
// boundary's first second carry a seconds word of 0 and are dropped as unset.)
TEST(ReplyHandler, OffsetIsRightAcrossTheNtpEraChange) {
    // What crosses, where the local clock starts, how far the server is ahead in ms.
    const std::tuple<const char*, SystemTime, double> cases[] = {
        {"local before, server after", utcTime(2036, 2, 7, 6, 27, 0), 120'000.0},
        {"local after, server before", utcTime(2036, 2, 7, 6, 30, 0), -120'000.0},
        {"local crosses during the burst", utcTime(2036, 2, 7, 6, 28, 14, 500), 750.0},
        {"server crosses during the burst", utcTime(2036, 2, 7, 6, 28, 12), 2'500.0},
        {"both in the next era", utcTime(2040, 1, 1, 0, 0, 0), -2'500.0},
        {"server nine years ahead", utcTime(2026, 12, 6, 1, 5, 7), 289'459'449'000.0},
    };
    for (const auto& [what, utcStart, serverAheadMs] : cases) {
        SCOPED_TRACE(what);
        TestRig rig(utcStart);
        rig.prepareExchange();
        rig.server.offsetMs = serverAheadMs;
        rig.measure(10'000);
        EXPECT_GE(rig.form->lastBurst.counted, 20);
        EXPECT_NEAR(rig.form->offsetSec, serverAheadMs / 1000.0, 1e-5);
    }
}

}  // namespace
}  // namespace korvel
