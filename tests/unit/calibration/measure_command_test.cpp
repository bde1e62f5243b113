#include "calibration/measure_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_rig.h"

namespace korvel {
namespace {

using test::TestRig;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr const char* kLogPath = "/opt/korvel/12-06-2026.log";

TEST(MeasureCommand, StartsABurstFromAWindowThatStillHeldAnOffset) {
    TestRig rig;
    rig.prepareExchange();
    MainForm& form = *rig.form;
    // Left over from an earlier burst whose offset is still valid.
    form.offsetValid = true;
    form.Text1.setText(" 2026-12-06  09:05:08");
    form.Text3.setText(" 1.000000 秒");
    form.Command6.setEnabled(true);
    form.Timer3->start();
    form.Timer5->start();
    form.requestsSent = 30;
    form.repliesReceived = 7;

    measureCommand(form);

    EXPECT_EQ(form.Form1.caption(), "连接服务器");
    EXPECT_FALSE(form.Command2.isEnabled());
    EXPECT_FALSE(form.Command5.isEnabled());
    EXPECT_FALSE(form.Command6.isEnabled());
    EXPECT_FALSE(form.Timer5->isRunning());
    EXPECT_TRUE(form.Timer7->isRunning());
    EXPECT_EQ(form.requestsSent, 0);
    EXPECT_EQ(form.repliesReceived, 0);
    EXPECT_TRUE(form.Timer1->isRunning());
    EXPECT_TRUE(form.Timer2->isRunning());
    EXPECT_FALSE(form.Timer3->isRunning());
    EXPECT_EQ(form.Text1.text(), "");
    EXPECT_EQ(form.Text3.text(), "");
    EXPECT_FALSE(form.offsetValid);
}

TEST(MeasureCommand, TimeOutCountsFromTheCommand) {
    TestRig rig;
    rig.prepareExchange();
    rig.server.drop = [](int) { return true; };
    rig.time.advance(4321);
    rig.measure(9'999);
    EXPECT_FALSE(rig.form->Command5.isEnabled());
    rig.time.advance(1);
    EXPECT_TRUE(rig.form->Command5.isEnabled());
    EXPECT_EQ(rig.form->Text1.text(), "无法连接服务器");
}

TEST(MeasureCommand, LogsAManualOrAScheduledStartLine) {
    const struct {
        bool scheduled;
        const char* line;
    } cases[] = {
        {false, "12-06-2026  09:05:07   测时差"},
        // One blank more between date and time than in every other event line.
        {true, "12-06-2026   09:05:07   测时差（自动）"},
    };
    for (const auto& c : cases) {
        TestRig rig;
        rig.prepareExchange();
        MainForm& form = *rig.form;
        form.settings.logOn = true;
        form.timeSyncLog.open(rig.files, kLogPath);
        form.autoRun = c.scheduled;
        measureCommand(form);
        EXPECT_THAT(rig.files.lines(kLogPath), ElementsAre(c.line));
        EXPECT_EQ(form.autoRun, c.scheduled);
    }
}

TEST(MeasureCommand, WritesNothingWithLoggingOff) {
    TestRig rig;
    rig.prepareExchange();
    rig.form->timeSyncLog.open(rig.files, kLogPath);
    measureCommand(*rig.form);
    EXPECT_THAT(rig.files.lines(kLogPath), IsEmpty());
}

}  // namespace
}  // namespace korvel
