#include "exchange/request_sender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "calibration/measure_command.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::TestRig;
using test::utcTime;
using testing::ElementsAre;
using testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;

Bytes slice(const Bytes& bytes, std::size_t first, std::size_t count) {
    return {bytes.begin() + static_cast<long>(first),
            bytes.begin() + static_cast<long>(first + count)};
}

// One request sent by a single tick at the given UTC time, nobody answering.
Bytes requestAt(const SystemTime& utc) {
    TestRig rig(utc);
    rig.prepareExchange();
    rig.server.drop = [](int) { return true; };
    requestTick(*rig.form);
    EXPECT_EQ(rig.socket.sent().size(), 1U);
    return rig.socket.sent().empty() ? Bytes{} : rig.socket.sent().back();
}

TEST(RequestSender, RequestHasTheFixedHeaderAndTheClockAsTransmitTime) {
    const Bytes request = requestAt(utcTime(2004, 3, 18, 12, 0, 0, 0));
    ASSERT_EQ(request.size(), 48U);
    EXPECT_THAT(slice(request, 0, 4), ElementsAre(0x23, 0x01, 0x00, 0xEE));
    EXPECT_THAT(slice(request, 4, 8), ElementsAreArray(Bytes(8, 0)));
    EXPECT_THAT(slice(request, 12, 4), ElementsAre(0x41, 0x43, 0x54, 0x53));
    EXPECT_THAT(slice(request, 16, 24), ElementsAreArray(Bytes(24, 0)));
    EXPECT_THAT(slice(request, 40, 8), ElementsAre(0xC4, 0x04, 0x0D, 0xC0, 0, 0, 0, 0));
}

TEST(RequestSender, MillisecondsBecomeTheFractionBigEndian) {
    const struct {
        int milliseconds;
        Bytes fraction;
    } cases[] = {
        {1, {0x00, 0x41, 0x89, 0x37}},
        {500, {0x80, 0x00, 0x00, 0x00}},
        {999, {0xFF, 0xBE, 0x76, 0xC9}},
    };
    for (const auto& c : cases) {
        const Bytes request = requestAt(utcTime(2004, 3, 18, 12, 0, 0, c.milliseconds));
        EXPECT_THAT(slice(request, 40, 4), ElementsAre(0xC4, 0x04, 0x0D, 0xC0));
        EXPECT_EQ(slice(request, 44, 4), c.fraction) << c.milliseconds << " ms";
    }
}

TEST(RequestSender, SecondsGoOnTheWireModulo2To32AcrossTheEraChange) {
    EXPECT_THAT(slice(requestAt(utcTime(2036, 2, 7, 6, 28, 15, 0)), 40, 4),
                ElementsAre(0xFF, 0xFF, 0xFF, 0xFF));
    EXPECT_THAT(slice(requestAt(utcTime(2036, 2, 7, 6, 28, 17, 0)), 40, 4),
                ElementsAre(0x00, 0x00, 0x00, 0x01));
    EXPECT_THAT(slice(requestAt(utcTime(1968, 1, 20, 3, 14, 8, 0)), 40, 4),
                ElementsAre(0x80, 0x00, 0x00, 0x00));
}

TEST(RequestSender, BurstSendsThirtyRequestsAHundredMillisecondsApart) {
    TestRig rig(utcTime(2004, 3, 18, 11, 59, 59, 900));
    rig.prepareExchange();
    rig.server.drop = [](int) { return true; };
    measureCommand(*rig.form);
    rig.time.advance(3050);
    ASSERT_EQ(rig.socket.sent().size(), 30U);
    EXPECT_EQ(rig.form->requestsSent, 30);
    // The first tick comes 100 ms after the command: 12:00:00.000.
    EXPECT_THAT(slice(rig.socket.sent()[0], 40, 8),
                ElementsAre(0xC4, 0x04, 0x0D, 0xC0, 0, 0, 0, 0));
    // The sixth at 12:00:00.500.
    EXPECT_THAT(slice(rig.socket.sent()[5], 40, 8),
                ElementsAre(0xC4, 0x04, 0x0D, 0xC0, 0x80, 0, 0, 0));
    for (const Bytes& request : rig.socket.sent()) {
        EXPECT_THAT(slice(request, 0, 4), ElementsAre(0x23, 0x01, 0x00, 0xEE));
        EXPECT_THAT(slice(request, 12, 4), ElementsAre(0x41, 0x43, 0x54, 0x53));
    }
}

TEST(RequestSender, ThirtyFirstTickSendsNothingAndStopsTheTimer) {
    TestRig rig;
    rig.prepareExchange();
    measureCommand(*rig.form);
    rig.time.advance(3050);
    EXPECT_TRUE(rig.form->Timer1->isRunning());
    rig.time.advance(100);
    EXPECT_FALSE(rig.form->Timer1->isRunning());
    EXPECT_EQ(rig.socket.sent().size(), 30U);
    EXPECT_EQ(rig.form->requestsSent, 30);
    rig.time.advance(10'000);
    EXPECT_EQ(rig.socket.sent().size(), 30U);
}

TEST(RequestSender, RequestThatCannotBeConvertedStillCountsSoTheBurstEnds) {
    TestRig rig;
    rig.prepareExchange();
    rig.files.failByteAccess = true;
    measureCommand(*rig.form);
    rig.time.advance(3200);
    EXPECT_TRUE(rig.socket.sent().empty());
    EXPECT_EQ(rig.form->requestsSent, 30);
    EXPECT_FALSE(rig.form->Timer1->isRunning());
}

TEST(RequestSender, ScratchFileHoldsTheLastRecordInHostOrder) {
    TestRig rig(utcTime(2004, 3, 18, 12, 0, 0, 0));
    rig.prepareExchange();
    requestTick(*rig.form);
    const auto& scratch = rig.files.byteFiles.at("/run/user/1000/XCV.TMP");
    ASSERT_EQ(scratch.size(), 48U);
    EXPECT_THAT(slice(scratch, 12, 4), ElementsAre(0x53, 0x54, 0x43, 0x41));
    EXPECT_THAT(slice(scratch, 40, 4), ElementsAre(0xC0, 0x0D, 0x04, 0xC4));
}

}  // namespace
}  // namespace korvel
