#include "calibration/clock_correction.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/lifecycle.h"
#include "calibration/outcome_display.h"
#include "common/day_date.h"
#include "sntp/burst_evaluation.h"
#include "support/test_rig.h"
#include "wiring/command_dispatch.h"

namespace korvel {
namespace {

using test::TestRig;
using test::utcTime;

constexpr const char* kNoLimit = "   自动校准执行（无时差限制）";

// A window holding a fresh offset, as the evaluation leaves it, with logging on.
MainForm& armOffset(TestRig& rig, double offsetSec, bool scheduled) {
    rig.startProgram();
    rig.startLog();
    MainForm& form = *rig.form;
    form.autoRun = scheduled;
    form.correction.decisionLine = scheduled ? kNoLimit : "";
    form.offsetSec = offsetSec;
    form.offsetWholeSec = roundToWholeSeconds(offsetSec);
    form.offsetValid = true;
    form.Text3.setText(offsetDisplayText(offsetSec));
    form.Text3.setForeColor(kGreen);
    form.Command6.setEnabled(true);
    form.timers.Timer3->start();
    form.timers.Timer5->start();
    return form;
}

// Each answer of the system, at once and late, for a manual and a scheduled correction: the
// platform's reason goes into the offset box's tip, with a notice naming another running time
// service after it; the step goes ahead either way.
TEST(ClockCorrection, StepsByTheOffsetAndShowsEachAnswerThenReturnsToIdle) {
    using enum ClockStep;
    const std::string kNotice = "提示：本机的时间服务 chronyd 正在运行，它可能会撤销这次校准。";
    const struct {
        bool scheduled;
        ClockStep answer;
        std::int64_t answerAfterMs;
        const char* otherService;
        const char* text3;
        std::string tip;
        bool notice;  // the one-time message after the handler returned
    } cases[] = {
        {false, Stepped, 0, "", " 1.234567 秒", "", false},
        {true, Stepped, 20'000, "chronyd", " 1.234567 秒", kNotice, false},
        {false, NotAuthorised, 15'000, "", "校准失败", "why", false},
        {true, NotAuthorised, 0, "", "校准失败", "why", true},
        {true, AutomaticSync, 40, "chronyd", "校准失败", "why\n" + kNotice, false},
        {false, NoRight, 0, "", "校准失败", "why", false},
        {true, Unknown, 299'000, "", "校准结果未知", "why", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        TestRig rig(utcTime(2026, 12, 6, 1, 5, 20, 250));
        MainForm& form = armOffset(rig, 1.2345674, c.scheduled);
        rig.time.stepAnswer = {c.answer, c.answer == ClockStep::Stepped ? "" : "why"};
        rig.time.otherTimeService = c.otherService;
        form.Text3.setToolTip("an earlier tip");
        rig.time.stepAnswerDelayMs = c.answerAfterMs;
        const std::int64_t before = rig.time.utcMs();

        clockCorrection(form);
        EXPECT_TRUE(rig.messageBox.shown.empty());
        rig.time.advance(c.answerAfterMs + 10);
        const bool stepped = c.answer == ClockStep::Stepped;

        ASSERT_EQ(rig.time.clockSteps().size(), 1U);
        EXPECT_EQ(rig.time.clockSteps()[0].offsetSec, 1.2345674);  // handed on unrounded
        EXPECT_EQ(rig.time.clockSteps()[0].interactive, !c.scheduled);
        EXPECT_EQ(rig.time.utcMs() - before, c.answerAfterMs + 10 + (stepped ? 1235 : 0));
        EXPECT_EQ(form.Text3.text() + "|" + form.Text3.toolTip(), c.text3 + ("|" + c.tip));
        // A refusal is said in the status bar, and no server clock is shown as if corrected.
        EXPECT_EQ(form.StatusBar1.panel(2), stepped ? "" : "why");
        EXPECT_EQ(form.offsetValid, stepped);
        EXPECT_EQ(form.Text3.foreColor(), kGrey);
        std::vector<std::string> log{c.scheduled ? "12-06-2026  09:05:20   校准(自动)"
                                                 : "12-06-2026  09:05:20   校准"};
        if (!stepped) {
            log.push_back(c.text3);
        }
        // A scheduled correction's decision comes once the answer is in.
        std::vector<std::string> written = rig.files.lines(TestRig::kLogPath);
        if (c.scheduled) {
            ASSERT_TRUE(!written.empty() && written.back().ends_with(kNoLimit));
            written.pop_back();
        }
        EXPECT_EQ(written, log);
        EXPECT_EQ(rig.messageBox.shown,
                  std::vector<std::string>(c.notice, kScheduledRefusalNotice));
        // Idle again, the offset spent.
        EXPECT_TRUE(form.Command5.isEnabled() && form.Command2.isEnabled() &&
                    form.timers.Timer5->isRunning());
        EXPECT_FALSE(form.Command6.isEnabled() || form.timers.Timer3->isRunning() || form.autoRun ||
                     form.correction.correcting || form.offsetSec != 0.0 ||
                     form.offsetWholeSec != 0.0);
        // Taken after the clock moved, so the jump check does not see the correction as a jump.
        EXPECT_EQ(form.lastClockCheck, dayDate(rig.time.getLocalTime()));
    }
}

// Without the right a manual correction runs the elevated tool against the window's servers
// with the offset the user agreed to, and shows how it ended as a direct correction's outcome
// (a tool that measured another offset refused); a scheduled one never asks.
TEST(ClockCorrection, WithoutTheRightAManualCorrectionRunsTheElevatedToolForItsOutcome) {
    using enum Outcome;
    const std::string kTool = "以管理员身份运行的 korvel-cli 没有校准时钟：";
    const struct {
        bool scheduled;
        int exitStatus;
        const char* reason;
        Outcome outcome;
        std::string statusPanel;
    } cases[] = {
        {false, 0, "", Stepped, ""},
        {false, 13, "没有同意", ConsentRefused, "没有同意"},
        {false, 1, "", StepRefused, kTool + "无法连接服务器"},
        {false, 4, "", StepRefused, kTool + "退出状态 4"},
        {false, 64, "", StepRefused, kTool + "退出状态 64"},
        {false, 7, "", StepUnknown, "校准结果未知"},
        {false, 14, "", StepRefused,
         "以管理员身份运行的 korvel-cli 重新测得的时差与您同意校准的 1.500000 "
         "秒不符，时钟没有校准。"},
        {true, 0, "", Stepped, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        TestRig rig(utcTime(2026, 12, 6, 1, 5, 20, 250));
        MainForm& form = armOffset(rig, 1.5, c.scheduled);
        form.servers = {"192.0.2.1      ", "ntp.example"};
        rig.elevation.required = true;

        clockCorrection(form);
        rig.time.advance(30'000);
        EXPECT_EQ(rig.time.clockSteps().size(), c.scheduled ? 1U : 0U);
        if (!c.scheduled) {
            ASSERT_EQ(rig.elevation.runs,
                      (std::vector<std::vector<std::string>>{{"192.0.2.1", "ntp.example"}}));
            EXPECT_EQ(rig.elevation.agreedOffsets, std::vector<double>{1.5});
            EXPECT_TRUE(form.correction.correcting && !form.Command5.isEnabled());
            rig.elevation.finish({c.exitStatus, c.reason});
        }
        EXPECT_EQ(form.lastOutcome.outcome, c.outcome);
        EXPECT_EQ(form.StatusBar1.panel(2), c.statusPanel);
        EXPECT_EQ(form.offsetValid, c.outcome == Outcome::Stepped);
        EXPECT_TRUE(!form.correction.correcting && form.Command5.isEnabled() &&
                    !form.Command6.isEnabled());
    }
}

// While the answer is outstanding: gates closed, the display ticking without its jump check
// or scheduler, and a close asked for meanwhile waits for the answer.
TEST(ClockCorrection, CorrectingStateHoldsUntilTheAnswerAndClosingWaitsForIt) {
    for (const bool closeMeanwhile : {false, true}) {
        SCOPED_TRACE(closeMeanwhile ? "closed meanwhile" : "left open");
        TestRig rig(utcTime(2026, 12, 6, 1, 5, 20, 250));
        MainForm& form = armOffset(rig, 30.0, false);
        form.settings.autoSyncOn = true;
        form.settings.autoSyncTenths = 0.0001;
        rig.time.stepAnswerDelayMs = 60'000;
        clockCorrection(form);
        const std::string shownAtStart = form.Text2.text();
        rig.time.advance(1000);
        EXPECT_TRUE(form.correction.correcting);
        EXPECT_FALSE(form.Command5.isEnabled() || form.Command6.isEnabled() ||
                     form.Command2.isEnabled() || form.timers.Timer3->isRunning());
        EXPECT_NE(form.Text2.text(), shownAtStart);
        EXPECT_FALSE(closeMeanwhile && shutDown(form));  // asked to close: not yet
        rig.time.advance(58'900);
        // No jump seen, no burst started by the scheduler, not closed yet.
        EXPECT_TRUE(form.offsetValid && rig.program.ended == 0);
        EXPECT_EQ(rig.files.lines(TestRig::kLogPath).size(), 1U);
        rig.time.advance(200);
        EXPECT_FALSE(form.correction.correcting);
        EXPECT_EQ(rig.files.lines(TestRig::kLogPath).back(),
                  closeMeanwhile ? "12-06-2026  09:06:50   Closed" : "12-06-2026  09:05:20   校准");
        EXPECT_EQ(rig.program.ended, closeMeanwhile ? 1 : 0);
    }
}

// Unanswered after five minutes the outcome is unknown, but the step may still land: no
// other correction may be asked, by hand or by the schedule, until the system answers.
TEST(ClockCorrection, NoSecondCorrectionWhileAnEarlierStepMayLand) {
    TestRig rig(utcTime(2026, 12, 6, 1, 5, 20, 250));
    MainForm& form = armOffset(rig, 2.5, false);
    rig.time.stepAnswerDelayMs = 10 * 60'000;
    clockCorrection(form);
    rig.time.advance(5 * 60'000);
    EXPECT_EQ(form.Text3.text(), "校准结果未知");
    EXPECT_TRUE(form.correction.stepPending && form.Command5.isEnabled());
    cheshiClick(form);
    rig.time.advance(3000);
    EXPECT_FALSE(form.Command6.isEnabled());
    xiaoshiClick(form);
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kRefusedImage);
    EXPECT_EQ(form.StatusBar1.panel(2), "上次校准仍在等待时间服务答复");
    rig.time.advance(5 * 60'000);
    EXPECT_TRUE(!form.correction.stepPending && rig.time.clockSteps().size() == 1);
    EXPECT_EQ(form.StatusBar1.panel(2), "时间服务已答复：时钟已经校准");
}

}  // namespace
}  // namespace korvel
