#include "calibration/clock_correction.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "calibration/offset_evaluation.h"
#include "common/day_date.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::msSinceEpoch;
using test::TestRig;
using test::utcTime;
using testing::ElementsAre;
using testing::IsEmpty;

constexpr const char* kLogPath = "/opt/korvel/12-06-2026.log";

// The record expected back: the day-of-week field is passed on as it was read.
SystemTime readAs(SystemTime expected, const SystemTime& read) {
    expected.dayOfWeek = read.dayOfWeek;
    return expected;
}

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
        {"previous day", utcTime(2026, 12, 6, 0, 0, 0, 300), -0.5,
         utcTime(2026, 12, 5, 23, 59, 59, 800)},
        {"back into February", utcTime(2026, 3, 1, 0, 0, 10, 0), -20.0,
         utcTime(2026, 2, 28, 23, 59, 50, 0)},
        {"onto a leap day", utcTime(2024, 2, 28, 23, 59, 59, 500), 1.0,
         utcTime(2024, 2, 29, 0, 0, 0, 500)},
        {"past February 28 of a common year", utcTime(2023, 2, 28, 23, 59, 59, 500), 1.0,
         utcTime(2023, 3, 1, 0, 0, 0, 500)},
        {"s exactly 0 stays on the day", utcTime(2026, 12, 6, 0, 0, 5, 0), -5.0,
         utcTime(2026, 12, 6, 0, 0, 0, 0)},
        {"s exactly 86400 is the next day", utcTime(2026, 12, 6, 23, 59, 59, 0), 1.0,
         utcTime(2026, 12, 7, 0, 0, 0, 0)},
        {"two days ahead", utcTime(2026, 12, 6, 12, 0, 0, 0), 2 * 86400.0 + 1,
         utcTime(2026, 12, 8, 12, 0, 1, 0)},
        {"three days back", utcTime(2026, 12, 6, 12, 0, 0, 0), -3 * 86400.0,
         utcTime(2026, 12, 3, 12, 0, 0, 0)},
        {"fraction 0.75", utcTime(2026, 12, 6, 10, 0, 0, 0), 0.75,
         utcTime(2026, 12, 6, 10, 0, 0, 750)},
        {"rounded, not truncated", utcTime(2026, 12, 6, 10, 0, 0, 0), 0.0999999,
         utcTime(2026, 12, 6, 10, 0, 0, 100)},
        {"rounded down below the half", utcTime(2026, 12, 6, 10, 0, 0, 0), 0.0994,
         utcTime(2026, 12, 6, 10, 0, 0, 99)},
        {"1000 ms carry into the second", utcTime(2026, 12, 6, 10, 0, 59, 0), 0.9996,
         utcTime(2026, 12, 6, 10, 1, 0, 0)},
        {"1000 ms carry into the next year", utcTime(2026, 12, 31, 23, 59, 59, 0), 0.9998,
         utcTime(2027, 1, 1, 0, 0, 0, 0)},
        {"1000 ms carry back onto the day", utcTime(2027, 1, 1, 0, 0, 0, 0), -0.0003,
         utcTime(2027, 1, 1, 0, 0, 0, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(correctedTime(c.utc, c.offsetSec), readAs(c.expected, c.utc));
    }
}

TEST(ClockCorrection, CorrectedTimeIsAlwaysAValidRecordWithinHalfAMillisecond) {
    const SystemTime starts[] = {utcTime(2026, 12, 31, 23, 59, 59, 0),
                                 utcTime(2027, 1, 1, 0, 0, 0, 999),
                                 utcTime(2024, 2, 29, 12, 30, 0, 500)};
    for (const SystemTime& utc : starts) {
        for (int step = -20'000; step <= 20'000; ++step) {
            const double offsetSec = step * 0.00013;
            const SystemTime t = correctedTime(utc, offsetSec);
            SystemTime checked = t;
            checked.dayOfWeek = 0;
            ASSERT_TRUE(isValid(checked)) << offsetSec;
            const double exactMs = static_cast<double>(msSinceEpoch(utc)) + offsetSec * 1000;
            ASSERT_LE(std::abs(static_cast<double>(msSinceEpoch(t)) - exactMs), 0.5 + 1e-3)
                << offsetSec;
        }
    }
}

// A window holding a fresh offset, as the evaluation leaves it.
struct OffsetReady {
    explicit OffsetReady(double offsetSec, bool logging = true,
                         const SystemTime& utc = utcTime(2026, 12, 6, 1, 5, 20, 250))
        : rig(utc) {
        rig.prepareExchange();
        MainForm& f = *rig.form;
        if (logging) {
            f.settings.logOn = true;
            f.timeSyncLog.open(rig.files, kLogPath);
        }
        f.offsetSec = offsetSec;
        f.offsetWholeSec = roundToWholeSeconds(offsetSec);
        f.offsetValid = true;
        f.Text3.setText(offsetDisplayText(offsetSec));
        f.Text3.setForeColor(kGreen);
        f.Command6.setEnabled(true);
        f.Timer3->start();
        f.Timer5->start();
    }
    MainForm& form() { return *rig.form; }
    std::vector<std::string> log() const { return rig.files.lines(kLogPath); }
    TestRig rig;
};

void expectIdleAfterCorrection(OffsetReady& ready) {
    MainForm& form = ready.form();
    EXPECT_TRUE(form.Command5.isEnabled());
    EXPECT_FALSE(form.Command6.isEnabled());
    EXPECT_FALSE(form.Timer3->isRunning());
    EXPECT_TRUE(form.Timer5->isRunning());
    EXPECT_EQ(form.offsetSec, 0.0);
    EXPECT_EQ(form.offsetWholeSec, 0.0);
    EXPECT_EQ(form.Text3.foreColor(), kGrey);
    EXPECT_FALSE(form.autoRun);
    // Taken after the clock moved, so the jump check does not see the correction as a jump.
    EXPECT_EQ(form.lastClockCheck, dayDate(ready.rig.time.getLocalTime()));
}

TEST(ClockCorrection, ManualCorrectionSetsTheClockAndLogsWithTheTimeBefore) {
    OffsetReady ready(1.5);
    clockCorrection(ready.form());
    ASSERT_EQ(ready.rig.time.clockSets().size(), 1U);
    EXPECT_EQ(ready.rig.time.clockSets()[0], utcTime(2026, 12, 6, 1, 5, 21, 750));
    EXPECT_THAT(ready.log(), ElementsAre("12-06-2026  09:05:20   校准"));
    EXPECT_EQ(ready.form().Text3.text(), " 1.500000 秒");
    expectIdleAfterCorrection(ready);
}

TEST(ClockCorrection, AutomaticCorrectionIsLoggedAsSuchAndClearsTheFlag) {
    OffsetReady ready(-0.5);
    ready.form().autoRun = true;
    clockCorrection(ready.form());
    EXPECT_EQ(ready.rig.time.clockSets().size(), 1U);
    EXPECT_THAT(ready.log(), ElementsAre("12-06-2026  09:05:20   校准(自动)"));
    expectIdleAfterCorrection(ready);
}

TEST(ClockCorrection, RefusedCorrectionShowsAndLogsTheFailureAndReturnsToIdle) {
    OffsetReady ready(2.0);
    ready.rig.time.refuseClockSets(true);
    const std::int64_t before = ready.rig.time.utcMs();
    clockCorrection(ready.form());
    EXPECT_EQ(ready.rig.time.utcMs(), before);
    EXPECT_EQ(ready.form().Text3.text(), "校准失败");
    EXPECT_THAT(ready.log(), ElementsAre("12-06-2026  09:05:20   校准", "校准失败"));
    expectIdleAfterCorrection(ready);
}

TEST(ClockCorrection, NothingIsLoggedWithLoggingOff) {
    for (const bool refuse : {false, true}) {
        OffsetReady ready(1.0, /*logging=*/false);
        ready.rig.time.refuseClockSets(refuse);
        clockCorrection(ready.form());
        EXPECT_THAT(ready.rig.files.textFiles, IsEmpty());
        expectIdleAfterCorrection(ready);
    }
}

TEST(ClockCorrection, CorrectionAcrossMidnightSetsTheNewDate) {
    OffsetReady ready(0.2, true, utcTime(2026, 12, 31, 23, 59, 59, 900));
    clockCorrection(ready.form());
    ASSERT_EQ(ready.rig.time.clockSets().size(), 1U);
    EXPECT_EQ(ready.rig.time.clockSets()[0],
              readAs(utcTime(2027, 1, 1, 0, 0, 0, 100), utcTime(2026, 12, 31, 0, 0, 0)));
    EXPECT_EQ(ready.rig.time.utcMs(), msSinceEpoch(utcTime(2027, 1, 1, 0, 0, 0, 100)));
}

}  // namespace
}  // namespace korvel
