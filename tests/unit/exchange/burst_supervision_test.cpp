#include "exchange/burst_supervision.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "calibration/clock_correction.h"
#include "calibration/measure_command.h"
#include "common/day_date.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::TestRig;
using testing::StartsWith;

// A burst in which the server answers only the first `answered` requests.
struct PartlyAnsweredBurst {
    explicit PartlyAnsweredBurst(int answered) {
        rig.prepareExchange();
        rig.server.drop = [answered](int request) { return request > answered; };
    }
    TestRig rig;
};

TEST(BurstSupervision, TimeOutReportsOrEvaluatesByTheNumberOfReplies) {
    const struct {
        int replies;
        const char* text;
        Rgb color;
        bool evaluated;
    } cases[] = {
        {0, "无法连接服务器", kRed, false},
        {1, "网络阻塞,请稍候再试!", kYellow, false},
        {9, "网络阻塞,请稍候再试!", kYellow, false},
        {10, "", kWhite, true},
        {24, "", kWhite, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.replies);
        PartlyAnsweredBurst burst(c.replies);
        TestRig& rig = burst.rig;
        MainForm& form = *rig.form;
        rig.server.offsetMs = -420.0;
        rig.measure(9'999);
        EXPECT_FALSE(form.Command5.isEnabled());
        EXPECT_EQ(rig.beeper.beeps, 0);

        rig.time.advance(1);
        EXPECT_EQ(rig.beeper.beeps, 1);
        EXPECT_FALSE(form.Timer2->isRunning());
        EXPECT_TRUE(form.Timer5->isRunning());
        EXPECT_TRUE(form.Command5.isEnabled());
        EXPECT_TRUE(form.Command2.isEnabled());
        EXPECT_EQ(form.Text1.text(), c.text);
        EXPECT_EQ(form.lastClockCheck, dayDate(rig.time.getLocalTime()));
        // The time-out leaves the count alone.
        EXPECT_EQ(form.repliesReceived, c.replies);
        EXPECT_EQ(form.Command6.isEnabled(), c.evaluated);
        EXPECT_EQ(form.offsetValid, c.evaluated);
        if (c.evaluated) {
            EXPECT_EQ(form.evaluatedReplies, c.replies);
            EXPECT_NEAR(form.offsetSec, -0.42, 1e-5);
            EXPECT_THAT(form.Text3.text(), StartsWith(" -0.4200"));
        } else {
            EXPECT_EQ(form.Text1.foreColor(), c.color);
            EXPECT_EQ(form.Text3.text(), "");
            EXPECT_EQ(form.evaluatedReplies, 0);
        }
        // It ticks once per burst.
        rig.time.advance(20'000);
        EXPECT_EQ(rig.beeper.beeps, 1);
    }
}

TEST(BurstSupervision, FailedScheduledBurstLeavesNoScheduledFlagBehind) {
    for (const int replies : {0, 9}) {
        SCOPED_TRACE(replies);
        PartlyAnsweredBurst burst(replies);
        MainForm& form = *burst.rig.form;
        form.autoRun = true;
        burst.rig.measure(10'000);
        EXPECT_TRUE(form.Command5.isEnabled());
        EXPECT_FALSE(form.autoRun);
        EXPECT_TRUE(burst.rig.time.clockSets().empty());
    }
}

TEST(BurstSupervision, LateRepliesAfterTheTimeOutCountOnAndTheTwentyFifthEvaluatesAgain) {
    TestRig rig;
    rig.prepareExchange();
    // Request n leaves at n * 100 ms and its reply arrives 8005 ms later: 19 are in at 10 s.
    rig.server.replyDelayMs = 8000;
    rig.measure(10'000);
    EXPECT_EQ(rig.form->evaluatedReplies, 19);
    EXPECT_EQ(rig.form->repliesReceived, 19);
    rig.time.advance(600);
    EXPECT_EQ(rig.form->evaluatedReplies, 25);
    EXPECT_EQ(rig.form->repliesReceived, 0);
    EXPECT_EQ(rig.beeper.beeps, 2);
}

TEST(BurstSupervision, OffsetIsWithdrawn34SecondsAfterTheEvaluation) {
    TestRig rig;
    rig.prepareExchange();
    rig.measure(2510);  // evaluated by the 25th reply at 2510 ms
    MainForm& form = *rig.form;
    ASSERT_TRUE(form.offsetValid);
    form.Text1.setText(" 2026-12-06  09:05:09");

    rig.time.advance(33'999);
    EXPECT_TRUE(form.Command6.isEnabled());
    EXPECT_TRUE(form.offsetValid);

    rig.time.advance(1);
    EXPECT_FALSE(form.Command6.isEnabled());
    EXPECT_FALSE(form.Timer3->isRunning());
    EXPECT_FALSE(form.offsetValid);
    EXPECT_EQ(form.Text1.text(), "");
    EXPECT_TRUE(form.Command5.isEnabled());
}

TEST(BurstSupervision, CorrectionOrNewBurstWithin34SecondsCancelsTheWithdrawal) {
    for (const bool correctFirst : {true, false}) {
        SCOPED_TRACE(correctFirst ? "correction" : "new burst");
        TestRig rig;
        rig.prepareExchange();
        rig.measure(2510);
        MainForm& form = *rig.form;
        rig.time.advance(20'000);
        if (correctFirst) {
            clockCorrection(form);
        } else {
            rig.measure(2600);
        }
        form.Text1.setText("kept");
        // Past the moment the first offset would have been withdrawn (36510 ms).
        rig.time.advance(36'600 - rig.time.nowMs());
        EXPECT_EQ(form.Text1.text(), "kept");
        EXPECT_EQ(form.Command6.isEnabled(), !correctFirst);
    }
}

}  // namespace
}  // namespace korvel
