#include "calibration/clock_display.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "calibration/clock_correction.h"
#include "settings/settings_panel.h"
#include "support/test_rig.h"

namespace korvel::test {
namespace {

void applySchedule(MainForm& form, int tenths, bool logging = false) {
    toggleSettingsPanel(form);
    form.panel.Check1.setTicked(true);
    form.panel.HScroll1.setValue(tenths);
    form.panel.Check2.setTicked(logging);
    applySettings(form);
}

// While an offset is valid, the server clock is the local clock shifted by its whole seconds,
// yellow when they are not 0. A burst pauses Timer5, but the local clock goes on until the
// burst hands it back. A jump of the local clock (more than the 0.6 s that whole-second
// readings can show as 1 s) withdraws the offset.
TEST(ServerClock, ShowsTheLocalClockShiftedByTheWholeSecondsUntilTheLocalClockJumps) {
    const struct {
        double offsetMs;
        const char* serverText;
        Rgb color;
    } cases[] = {
        {400, " 2026-12-06  09:05:09", kWhite},
        {-1000, " 2026-12-06  09:05:08", kYellow},
        {3700, " 2026-12-06  09:05:13", kYellow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offsetMs);
        TestRig rig;
        rig.startProgram();
        MainForm& form = *rig.form;
        rig.server.offsetMs = c.offsetMs;
        rig.measure(2400);  // the 25th reply comes at 2510 ms
        EXPECT_FALSE(form.timers.Timer5->isRunning());
        EXPECT_EQ(form.Text2.text(), " 2026-12-06  09:05:09");
        rig.time.advance(600);
        EXPECT_TRUE(form.timers.Timer5->isRunning() && !form.timers.burstClockTimer->isRunning());
        EXPECT_EQ(form.Text1.text(), c.serverText);
        EXPECT_EQ(form.Text1.foreColor(), c.color);

        rig.time.stepWallClock(600);
        rig.time.advance(200);
        EXPECT_TRUE(form.Command6.isEnabled());
        rig.time.stepWallClock(2000);
        rig.time.advance(200);
        EXPECT_FALSE(form.offsetValid || form.Command6.isEnabled() || form.Text1.text() != "");
    }
}

// The schedule fires at the first tick after the interval, across midnight too. Reached while
// busy it is logged and waits a full interval, with no burst at the first free tick either.
TEST(Scheduler, FiresAtTheFirstTickAfterTheInterval) {
    const struct {
        SystemTime start;
        bool busy;
        std::int64_t quietUntilMs;  // the last tick without a burst
    } cases[] = {
        {utcTime(2026, 12, 6, 1, 5, 7), false, 360'000},    // 09:05:07 local
        {utcTime(2026, 12, 6, 15, 58, 7), false, 360'000},  // 23:58:07 local
        {utcTime(2026, 12, 6, 1, 5, 7), true, 720'200},
    };
    for (const auto& [start, busy, quietUntilMs] : cases) {
        SCOPED_TRACE(testing::Message() << start.hour << (busy ? " busy" : ""));
        TestRig rig(start);
        rig.startProgram();
        applySchedule(*rig.form, 1, true);  // 360 s
        if (busy) {
            rig.form->Command5.setEnabled(false);
            rig.time.advance(360'200);
            EXPECT_THAT(rig.logLines(),
                        ::testing::Contains("12-06-2026  09:11:07   自动校时无法执行"));
            rig.form->Command5.setEnabled(true);
        }
        rig.time.advance(quietUntilMs - rig.time.nowMs());
        EXPECT_EQ(rig.server.requestsSeen(), 0);
        rig.time.advance(200);
        EXPECT_FALSE(rig.form->Command5.isEnabled());  // a burst runs
    }
}

TEST(Scheduler, BackwardCorrectionStartsTheNextScheduledBurstAtOnce) {
    TestRig rig;
    rig.startProgram();
    applySchedule(*rig.form, 12);  // 4320 s
    rig.time.advance(60'000);
    rig.server.offsetMs = -120'000;
    rig.measure(3000);  // manual burst
    clockCorrection(*rig.form);
    rig.time.advance(200);
    EXPECT_FALSE(rig.form->Command5.isEnabled());  // a burst runs
}

// After a wake or a reconnection the schedule waits 15 s for the network, measures and counts
// the interval from there; asleep it holds, however far the wall clock moved meanwhile.
TEST(Scheduler, WaitsFifteenSecondsAfterAWakeOrReconnectionThenCountsFromThere) {
    using enum SystemEvent;
    struct Step {
        std::int64_t afterMs;
        SystemEvent event;
    };
    const struct {
        const char* name;
        bool autoSyncOn;
        std::vector<Step> steps;
    } cases[] = {
        {"wake", true, {{0, Resumed}}},
        {"sleep longer than the interval", true, {{0, Suspending}, {1000, Resumed}}},
        {"network back 10 s after the wake", true, {{0, Resumed}, {10'000, NetworkUp}}},
        {"automatic calibration off", false, {{0, Resumed}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestRig rig;
        rig.startProgram();
        if (c.autoSyncOn) {
            applySchedule(*rig.form, 1);  // 360 s
        }
        rig.time.advance(100'000);
        for (const Step& step : c.steps) {
            rig.time.advance(step.afterMs);
            rig.systemEvents.handler(step.event);
            if (step.event == Suspending) {
                rig.time.stepWallClock(2 * 3600'000);  // what the ticks before the wake see
            }
        }
        rig.time.advance(14'800);
        EXPECT_TRUE(rig.time.clockSteps().empty() && rig.form->Command5.isEnabled());
        rig.time.advance(400);
        EXPECT_EQ(!rig.form->Command5.isEnabled(), c.autoSyncOn);
        if (c.autoSyncOn) {
            rig.time.advance(359'600);
            EXPECT_TRUE(rig.time.clockSteps().size() == 1 && rig.form->Command5.isEnabled());
            rig.time.advance(600);
            EXPECT_FALSE(rig.form->Command5.isEnabled());
        }
    }
}

}  // namespace
}  // namespace korvel::test
