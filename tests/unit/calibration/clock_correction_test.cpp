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
    const auto at = [](int y, int mo, int d, int h, int mi, int s, int ms) {
        return utcTime(y, mo, d, h, mi, s, ms);
    };
    const struct {
        const char* what;
        SystemTime utc;
        double offsetSec;
        SystemTime expected;
    } cases[] = {
        {"same day", at(2026, 12, 6, 10, 0, 0, 250), 1.5, at(2026, 12, 6, 10, 0, 1, 750)},
        {"into a new year", at(2026, 12, 31, 23, 59, 59, 900), 0.2, at(2027, 1, 1, 0, 0, 0, 100)},
        {"back a year", at(2027, 1, 1, 0, 0, 0, 300), -0.5, at(2026, 12, 31, 23, 59, 59, 800)},
        {"onto a leap day", at(2024, 2, 28, 23, 59, 59, 500), 1.0, at(2024, 2, 29, 0, 0, 0, 500)},
        {"past Feb 28, 2023", at(2023, 2, 28, 23, 59, 59, 500), 1.0, at(2023, 3, 1, 0, 0, 0, 500)},
        {"s exactly 86400", at(2026, 12, 6, 23, 59, 59, 0), 1.0, at(2026, 12, 7, 0, 0, 0, 0)},
        {"three days back", at(2026, 12, 6, 12, 0, 0, 0), -259200, at(2026, 12, 3, 12, 0, 0, 0)},
        {"rounded up", at(2026, 12, 6, 10, 0, 0, 0), 0.0999999, at(2026, 12, 6, 10, 0, 0, 100)},
        {"rounded down", at(2026, 12, 6, 10, 0, 0, 0), 0.0994, at(2026, 12, 6, 10, 0, 0, 99)},
        // Milliseconds that round to 1000 carry into the seconds.
        {"carry to a year", at(2026, 12, 31, 23, 59, 59, 0), 0.9998, at(2027, 1, 1, 0, 0, 0, 0)},
        {"carry back", at(2027, 1, 1, 0, 0, 0, 0), -0.0003, at(2027, 1, 1, 0, 0, 0, 0)},
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
