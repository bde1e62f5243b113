#include "calibration/measure_command.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "calibration/clock_correction.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::TestRig;

// A new burst withdraws what the window still showed of the last one: the offset, its texts
// and the hints in their tips.
TEST(MeasureCommand, WithdrawsTheEarlierOffsetAndItsHints) {
    TestRig rig;
    rig.startProgram();
    MainForm& form = *rig.form;
    rig.server.offsetMs = 1000;
    rig.measure(3000);
    ASSERT_TRUE(form.offsetValid && form.Command6.isEnabled() && form.timers.Timer3->isRunning() &&
                form.Text1.text() != "" && form.Text3.text() != "");
    form.Text1.setToolTip("服务器名称无法解析: ntp.example");
    form.Text3.setToolTip("系统拒绝了新的时间。");  // of a refused correction

    measureCommand(form);
    EXPECT_FALSE(form.offsetValid || form.Command6.isEnabled() || form.timers.Timer3->isRunning());
    EXPECT_EQ(form.Text1.text() + form.Text3.text() + form.Text1.toolTip() + form.Text3.toolTip(),
              "");
}

// Ten or more replies are evaluated once they stop after the last request (the 31st tick at
// 3.1 s, then 1 s without a reply); with fewer the time-out at 10 s reports no server or a
// congested network; with four flagged the time is invalid. A failed scheduled burst leaves no
// result in the log and no flag that would let the next manual burst set the clock by itself.
TEST(MeasureCommand, EndsWhenTheRepliesStopOrAtTheTimeOut) {
    const struct {
        int replies;
        int flagged;
        std::int64_t endsAtMs;
        const char* text;
        Rgb color;
        const char* offsetText;
        const char* statusPanel = "";  // after the burst
    } cases[] = {
        {0, 0, 10'000, "无法连接服务器", kRed, "", "服务器没有回答: 192.0.2.1"},
        {1, 0, 10'000, "网络阻塞,请稍候再试!", kYellow, ""},
        {9, 0, 10'000, "网络阻塞,请稍候再试!", kYellow, ""},
        {10, 0, 4'100, "", kWhite, " -0.420000 秒"},
        {24, 0, 4'100, "", kWhite, " -0.420000 秒"},
        {24, 4, 4'100, "服务器时间失效", kWhite, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.replies << " replies, " << c.flagged << " flagged");
        TestRig rig;
        rig.prepareExchange();
        rig.startLog();
        rig.server.drop = [answered = c.replies](int request) { return request > answered; };
        rig.server.tamper = [flagged = c.flagged](int request, std::vector<std::uint8_t>& reply) {
            reply[0] = request <= flagged ? 0xE4 : reply[0];  // a leap alarm
        };
        rig.server.offsetMs = -420.0;
        rig.time.advance(4321);  // the burst starts a while after start-up
        MainForm& form = *rig.form;
        const bool evaluated = c.replies >= 10 && c.flagged < 4;
        form.autoRun = !evaluated;
        rig.measure(c.endsAtMs - 1);
        EXPECT_EQ(rig.beeper.beeps, 0);
        EXPECT_EQ(form.StatusBar1.panel(2), "已收到 " + std::to_string(c.replies) + "/25");

        rig.time.advance(1);
        EXPECT_EQ(rig.beeper.beeps, 1);
        EXPECT_TRUE(form.timers.Timer5->isRunning() && form.Command5.isEnabled() &&
                    form.Command2.isEnabled() && !form.autoRun && rig.time.clockSteps().empty());
        EXPECT_EQ(form.Text1.text() + "|" + form.Text3.text() + "|" + form.StatusBar1.panel(2),
                  std::string(c.text) + "|" + c.offsetText + "|" + c.statusPanel);
        EXPECT_EQ(form.Text1.foreColor(), c.color);
        EXPECT_EQ(form.Command6.isEnabled(), evaluated);
        EXPECT_EQ(form.lastBurst.counted, c.replies >= 10 ? c.replies : 0);
        EXPECT_EQ(rig.logLines().size(), evaluated ? 2U : 1U);  // the start, and the result
        // It ticks once per burst.
        rig.time.advance(20'000);
        EXPECT_EQ(rig.beeper.beeps, 1);
    }
}

// Replies that come after the time-out change nothing, whether it evaluated the burst or found
// too few of them.
TEST(MeasureCommand, LateRepliesChangeNothingAfterTheTimeOut) {
    for (const int inTime : {12, 9}) {
        SCOPED_TRACE(inTime);
        TestRig rig;
        rig.prepareExchange();
        rig.server.replyDelayMs = 8'790 + (12 - inTime) * 100;  // the first inTime come in time
        rig.measure(10'000);
        const double offset = rig.form->lastBurst.offsetSec;
        rig.server.offsetMs = 30'000;
        rig.time.advance(12'000);
        EXPECT_EQ(rig.form->lastOutcome.outcome,
                  inTime >= 10 ? Outcome::Evaluated : Outcome::TooFewReplies);
        EXPECT_EQ(rig.form->lastBurst.offsetSec, offset);
        EXPECT_EQ(rig.form->engine.repliesReceived(), inTime);
    }
}

// Each burst looks the server up anew and starts its requests when the answer comes: a slow
// resolver still gives a full burst; a failed look-up ends the burst at once, its cause in the
// tool tip and the status bar, and the next burst tries again. With several servers the status
// bar says why of each.
TEST(MeasureCommand, EveryBurstLooksTheServerUp) {
    // The look-up's outcome is the first server's where the second is not found.
    using enum ConnectOutcome;
    const struct {
        std::vector<std::string> servers;
        std::int64_t delayMs;
        ConnectOutcome outcome;
        std::string cause;
    } cases[] = {
        {{"192.0.2.1"}, 3000, Connected, ""},
        {{"192.0.2.1"}, 200, NameNotResolved, "服务器名称无法解析: 192.0.2.1"},
        {{"192.0.2.1"}, 0, NetworkUnreachable, "网络不可达: 192.0.2.1"},
        {{"192.0.2.7", "none.test"},
         0,
         NetworkUnreachable,
         "网络不可达: 192.0.2.7；服务器名称无法解析: none.test"},
        {{"192.0.2.1", "none.test"}, 0, Connected, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cause);
        TestRig rig;
        rig.prepareExchange();
        rig.form->servers = c.servers;
        rig.socket.lookUpDelayMs = c.delayMs;
        rig.socket.lookUpOutcome = c.outcome;
        rig.socket.lookUpOutcomeOf = {{"none.test", ConnectOutcome::NameNotResolved}};
        rig.measure(c.delayMs + 2510);
        EXPECT_TRUE(rig.form->Command5.isEnabled());
        EXPECT_EQ(rig.form->Text1.text() + "|" + rig.form->StatusBar1.panel(2),
                  (c.cause.empty() ? "|" : "无法连接服务器|") + c.cause);
        EXPECT_EQ(rig.form->Text1.toolTip(), std::regex_replace(c.cause, std::regex("；"), "\n"));
        rig.socket.lookUpOutcome = ConnectOutcome::Connected;
        rig.measure(12'000);
        EXPECT_EQ(rig.form->lastBurst.counted, c.servers[0] == "192.0.2.1" ? 25 : 0);
        EXPECT_EQ(rig.socket.lookUps, 1 + 2 * static_cast<int>(c.servers.size()));
    }
}

// 34 s after the evaluation the offset may no longer be applied, unless a correction or a new
// burst came first.
TEST(MeasureCommand, OffsetIsWithdrawn34SecondsAfterTheEvaluation) {
    enum class Then { Nothing, Correction, NewBurst };
    for (const Then then : {Then::Nothing, Then::Correction, Then::NewBurst}) {
        SCOPED_TRACE(static_cast<int>(then));
        TestRig rig;
        rig.prepareExchange();
        rig.measure(22'510);  // evaluated by the 25th reply at 2510 ms
        if (then == Then::Correction) {
            clockCorrection(*rig.form);
        } else if (then == Then::NewBurst) {
            rig.measure(2600);
        }
        rig.form->Text1.setText("kept");
        rig.time.advance(36'509 - rig.time.nowMs());
        EXPECT_EQ(rig.form->Command6.isEnabled(), then != Then::Correction);
        rig.time.advance(1);
        EXPECT_EQ(rig.form->Text1.text(), then == Then::Nothing ? "" : "kept");
        EXPECT_EQ(rig.form->Command6.isEnabled(), then == Then::NewBurst);
        EXPECT_TRUE(rig.form->Command5.isEnabled() &&
                    !(then == Then::Nothing && rig.form->offsetValid));
    }
}

}  // namespace
}  // namespace korvel
