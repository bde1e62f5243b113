#include "calibration/clock_display.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "calibration/clock_correction.h"
#include "calibration/measure_command.h"
#include "settings/settings_panel.h"
#include "support/test_rig.h"

namespace korvel::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class ClockDisplay : public ::testing::Test {
protected:
    void SetUp() override { rig.startProgram(); }
    void applySchedule(int tenths, bool logging = false) {
        toggleSettingsPanel(form);
        form.Check1.setTicked(true);
        form.HScroll1.setValue(tenths);
        form.Check2.setTicked(logging);
        applySettings(form);
    }
    int burstsStarted() const { return rig.server.requestsSeen() / 30; }

    TestRig rig{utcTime(2026, 12, 6, 1, 5, 7)};
    MainForm& form = *rig.form;
};

TEST_F(ClockDisplay, ShowsTheLocalClockEvery200Ms) {
    rig.time.advance(200);
    EXPECT_EQ(form.Text2.text(), " 2026-12-06  09:05:07");
    EXPECT_EQ(form.Text2.foreColor(), kWhite);
    EXPECT_EQ(form.Text1.text(), "");
    rig.time.advance(800);
    EXPECT_EQ(form.Text2.text(), " 2026-12-06  09:05:08");
}

struct ServerClockCase {
    double offsetMs;
    const char* serverText;
    Rgb color;
};

class ServerClock : public ClockDisplay, public ::testing::WithParamInterface<ServerClockCase> {};

TEST_P(ServerClock, ShowsTheLocalClockShiftedByTheWholeSeconds) {
    rig.server.offsetMs = GetParam().offsetMs;
    rig.measure(3000);
    rig.time.advance(200);
    EXPECT_EQ(form.Text2.text(), " 2026-12-06  09:05:10");
    EXPECT_EQ(form.Text1.text(), GetParam().serverText);
    EXPECT_EQ(form.Text1.foreColor(), GetParam().color);
}

INSTANTIATE_TEST_SUITE_P(Offsets, ServerClock,
                         ::testing::Values(ServerClockCase{400, " 2026-12-06  09:05:10", kWhite},
                                           ServerClockCase{-1000, " 2026-12-06  09:05:09", kYellow},
                                           ServerClockCase{3700, " 2026-12-06  09:05:14",
                                                           kYellow}));

TEST_F(ClockDisplay, AJumpOfTheLocalClockWithdrawsTheOffset) {
    rig.measure(3000);
    ASSERT_TRUE(form.Command6.isEnabled());
    // Readings have whole seconds: 0.6 s more between two ticks reads as at most 1 s.
    rig.time.stepWallClock(600);
    rig.time.advance(200);
    EXPECT_TRUE(form.offsetValid);
    EXPECT_TRUE(form.Command6.isEnabled());

    rig.time.stepWallClock(2000);
    rig.time.advance(200);
    EXPECT_FALSE(form.offsetValid);
    EXPECT_EQ(form.Text1.text(), "");
    EXPECT_FALSE(form.Command6.isEnabled());
}

TEST_F(ClockDisplay, SchedulerFiresAtTheFirstTickAfterTheInterval) {
    applySchedule(1);  // 360 s
    rig.time.advance(360'000);
    EXPECT_EQ(burstsStarted(), 0);
    rig.time.advance(200);
    EXPECT_FALSE(form.Command5.isEnabled());
    rig.time.advance(12'000);
    EXPECT_EQ(burstsStarted(), 1);
    // The automatic decision ran: no limit, so the clock was corrected.
    EXPECT_EQ(rig.time.clockSets().size(), 1u);
    EXPECT_FALSE(form.autoRun);
}

TEST_F(ClockDisplay, SchedulerWrapsAroundMidnight) {
    rig.time.setUtcMs(msSinceEpoch(utcTime(2026, 12, 6, 15, 58, 0)));  // 23:58 local
    applySchedule(1);
    rig.time.advance(359'800);
    EXPECT_EQ(rig.server.requestsSeen(), 0);
    rig.time.advance(1'000);
    EXPECT_GT(rig.server.requestsSeen(), 0);
    EXPECT_EQ(form.Text2.text().substr(13), "00:04:00");
}

TEST_F(ClockDisplay, BackwardCorrectionStartsTheNextScheduledBurstAtOnce) {
    applySchedule(12);  // 4320 s
    rig.time.advance(60'000);
    rig.server.offsetMs = -120'000;
    rig.measure(3000);  // manual burst
    clockCorrection(form);
    rig.time.advance(200);
    EXPECT_FALSE(form.Command5.isEnabled());
}

TEST_F(ClockDisplay, ScheduleReachedWhileBusyIsLoggedAndWaitsAFullInterval) {
    applySchedule(1, true);
    form.Command5.setEnabled(false);
    rig.time.advance(360'200);
    EXPECT_THAT(rig.logLines(), Contains("12-06-2026  09:11:07   自动校时无法执行"));
    form.Command5.setEnabled(true);
    rig.time.advance(360'000);
    EXPECT_EQ(rig.server.requestsSeen(), 0);
    rig.time.advance(400);
    EXPECT_FALSE(form.Command5.isEnabled());
}

TEST_F(ClockDisplay, FailedScheduledBurstDoesNotMakeTheNextManualOneCorrect) {
    applySchedule(1);
    rig.server.drop = [](int) { return true; };
    rig.time.advance(360'200 + 10'000);
    ASSERT_EQ(form.Text1.text(), "无法连接服务器");
    EXPECT_FALSE(form.autoRun);

    rig.server.drop = nullptr;
    rig.server.offsetMs = 5000;
    rig.measure(3000);
    EXPECT_TRUE(form.Command6.isEnabled());
    EXPECT_TRUE(rig.time.clockSets().empty());
}

}  // namespace
}  // namespace korvel::test
