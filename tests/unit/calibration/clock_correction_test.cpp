#include "calibration/clock_correction.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/offset_evaluation.h"
#include "common/day_date.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::TestRig;
using test::utcTime;

TEST(ClockCorrection, CorrectedTimeCarriesIntoTheDateAndRoundsMilliseconds) {
    const struct {
        const char* what;
        SystemTime utc;
        double offsetSec;
        SystemTime expected;
    } cases[] = {
        {"same day", utcTime(2026, 12, 6, 10, 0, 0, 250), 1.5, utcTime(2026, 12, 6, 10, 0, 1, 750)},
        {"into the next year", utcTime(2026, 12, 31, 23, 59, 59, 900), 0.2,
         utcTime(2027, 1, 1, 0, 0, 0, 100)},
        {"back into the previous year", utcTime(2027, 1, 1, 0, 0, 0, 300), -0.5,
         utcTime(2026, 12, 31, 23, 59, 59, 800)},
        {"onto a leap day", utcTime(2024, 2, 28, 23, 59, 59, 500), 1.0,
         utcTime(2024, 2, 29, 0, 0, 0, 500)},
        {"past February 28 of a common year", utcTime(2023, 2, 28, 23, 59, 59, 500), 1.0,
         utcTime(2023, 3, 1, 0, 0, 0, 500)},
        {"s exactly 86400 is the next day", utcTime(2026, 12, 6, 23, 59, 59, 0), 1.0,
         utcTime(2026, 12, 7, 0, 0, 0, 0)},
        {"three days back", utcTime(2026, 12, 6, 12, 0, 0, 0), -3 * 86400.0,
         utcTime(2026, 12, 3, 12, 0, 0, 0)},
        {"rounded, not truncated", utcTime(2026, 12, 6, 10, 0, 0, 0), 0.0999999,
         utcTime(2026, 12, 6, 10, 0, 0, 100)},
        {"rounded down below the half", utcTime(2026, 12, 6, 10, 0, 0, 0), 0.0994,
         utcTime(2026, 12, 6, 10, 0, 0, 99)},
        {"1000 ms carry into the next year", utcTime(2026, 12, 31, 23, 59, 59, 0), 0.9998,
         utcTime(2027, 1, 1, 0, 0, 0, 0)},
        {"1000 ms carry back onto the day", utcTime(2027, 1, 1, 0, 0, 0, 0), -0.0003,
         utcTime(2027, 1, 1, 0, 0, 0, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SystemTime expected = c.expected;
        expected.dayOfWeek = c.utc.dayOfWeek;  // passed on as it was read
        EXPECT_EQ(correctedTime(c.utc, c.offsetSec), expected);
    }
}

// A correction from a window holding a fresh offset of 1.5 s, as the evaluation leaves it.
TEST(ClockCorrection, SetsTheClockLogsWithTheTimeBeforeAndReturnsToIdle) {
    const struct {
        const char* what;
        bool scheduled, refused, logging;
        std::vector<std::string> log;
        const char* offsetText;
    } cases[] = {
        {"manual", false, false, true, {"12-06-2026  09:05:20   校准"}, " 1.500000 秒"},
        {"scheduled", true, false, true, {"12-06-2026  09:05:20   校准(自动)"}, " 1.500000 秒"},
        {"refused", false, true, true, {"12-06-2026  09:05:20   校准", "校准失败"}, "校准失败"},
        {"refused, logging off", false, true, false, {}, "校准失败"},
        {"logging off", false, false, false, {}, " 1.500000 秒"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestRig rig(utcTime(2026, 12, 6, 1, 5, 20, 250));
        rig.prepareExchange();
        MainForm& form = *rig.form;
        if (c.logging) {
            rig.startLog();
        }
        rig.time.refuseClockSets(c.refused);
        form.autoRun = c.scheduled;
        form.offsetSec = 1.5;
        form.offsetWholeSec = roundToWholeSeconds(1.5);
        form.offsetValid = true;
        form.Text3.setText(offsetDisplayText(1.5));
        form.Text3.setForeColor(kGreen);
        form.Command6.setEnabled(true);
        form.Timer3->start();
        form.Timer5->start();

        clockCorrection(form);
        EXPECT_EQ(rig.time.utcMs(),
                  test::msSinceEpoch(c.refused ? utcTime(2026, 12, 6, 1, 5, 20, 250)
                                               : utcTime(2026, 12, 6, 1, 5, 21, 750)));
        EXPECT_EQ(rig.files.lines(TestRig::kLogPath), c.log);
        EXPECT_EQ(form.Text3.text(), c.offsetText);
        EXPECT_EQ(form.Text3.foreColor(), kGrey);
        EXPECT_TRUE(form.Command5.isEnabled());
        EXPECT_FALSE(form.Command6.isEnabled());
        EXPECT_FALSE(form.Timer3->isRunning());
        EXPECT_TRUE(form.Timer5->isRunning());
        EXPECT_EQ(form.offsetSec, 0.0);
        EXPECT_EQ(form.offsetWholeSec, 0.0);
        EXPECT_FALSE(form.autoRun);
        // Taken after the clock moved, so the jump check does not see the correction as a jump.
        EXPECT_EQ(form.lastClockCheck, dayDate(rig.time.getLocalTime()));
    }
}

}  // namespace
}  // namespace korvel
