#include "exchange/burst_engine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "calibration/measure_command.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::TestRig;
using test::utcTime;
using Bytes = std::vector<std::uint8_t>;

TEST(RequestSender, BurstSendsThirtyRequestsAHundredMillisecondsApart) {
    TestRig rig(utcTime(2004, 3, 18, 11, 59, 59, 400));
    rig.time.fixedRandomBits = 0xFFFF'FFFF;
    // Each scratch-file access takes a millisecond: the request leaves 2 ms after its tick.
    rig.files.onByteAccess = [&] { rig.time.pass(1); };
    rig.startSilentBurst();
    rig.time.advance(3050);
    // The time a request left, as a reply naming its transmit time finds it.
    const auto sentAt = [&](std::uint32_t fraction) {
        const SentRequests::Entry* entry = rig.form->engine.sentRequest({0xC4040DC0, fraction}, 0);
        return entry == nullptr ? 0.0 : entry->sentAt;
    };
    ASSERT_EQ(rig.socket.sent().size(), 30U);
    EXPECT_EQ(rig.form->engine.state(), BurstState::Sending);
    // The sixth request is built at 12:00:00.000, the eleventh at 12:00:00.500; the transmit
    // fraction's 22 bits below the millisecond are random.
    Bytes expected{0x23, 1, 0, 0xEE, 0, 0, 0, 0, 0, 0, 0, 0, 'A', 'C', 'T', 'S'};
    expected.resize(40);
    expected.insert(expected.end(), {0xC4, 0x04, 0x0D, 0xC0, 0, 0x3F, 0xFF, 0xFF});
    EXPECT_EQ(rig.socket.sent()[5], expected);
    // The time it left is read after the conversion, as it goes.
    EXPECT_DOUBLE_EQ(sentAt(0x003FFFFF), 3288600000.002);
    expected[44] = 0x80;
    EXPECT_EQ(rig.socket.sent()[10], expected);
    EXPECT_DOUBLE_EQ(sentAt(0x803FFFFF), 3288600000.502);

    // The 31st tick sends nothing and stops the sender.
    rig.time.advance(100);
    EXPECT_EQ(rig.form->engine.state(), BurstState::WaitingForReplies);
    EXPECT_EQ(rig.form->engine.requestsSent(), 30);

    // A burst whose requests cannot be converted still counts them, so that it ends.
    rig.time.advance(10'000);
    rig.files.failByteAccess = true;
    measureCommand(*rig.form);
    rig.time.advance(3200);
    EXPECT_EQ(std::tuple(rig.socket.sent().size(), rig.form->engine.requestsSent()),
              std::tuple(30UL, 30));
    EXPECT_NE(rig.form->engine.state(), BurstState::Sending);
}

// A step of the wall clock between two readings, however small beyond their rounding, forgets
// what was sent and counted before it; rounding alone never does.
TEST(RequestSender, ClockReadingForgetsTheBurstAcrossAStep) {
    for (const std::int64_t stepMs : {0, 3, 5, -5, 60'000}) {
        SCOPED_TRACE(stepMs);
        TestRig rig;
        rig.prepareExchange();
        rig.measure(210);  // the replies to the requests at 100 and 200 ms are in
        ASSERT_EQ(rig.form->engine.repliesReceived(), 2);
        rig.time.stepWallClock(stepMs);
        rig.form->engine.burstClockReading();
        EXPECT_EQ(rig.form->engine.repliesReceived(), std::abs(stepMs) > 4 ? 0 : 2);
    }
}

}  // namespace
}  // namespace korvel
