#include "calibration/offset_evaluation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "calibration/measure_command.h"
#include "support/reply_records.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::Reply;
using test::TestRig;

// A scheduled burst steps when the offset is below the limit, or when there is none; with a
// server set only when two servers agreed. Otherwise the decision is logged as withheld and the
// offset stays to be applied by hand, its colour following the whole seconds (white for 0,
// green ahead, red behind) and its text keeping six decimals.
TEST(Evaluation, ScheduledBurstDecidesByTheMagnitudeOfTheOffsetAndTheServersWord) {
    using enum Outcome;
    constexpr Outcome kTooLarge = WithheldOffsetTooLarge;
    const char* const kBelow = "   自动校准执行（时差小于限制）";
    const char* const kNotBelow = "   自动未校准执行（时差不小于限制）";
    const char* const kNoLimit = "   自动校准执行（无时差限制）";
    const char* const kAlone = "   自动未校准执行（没有第二台服务器确认）";
    // The likely cause of a large offset follows the decision; an hour behind is not "below".
    const char* const kZone = "（可能原因：时区或双系统的硬件时钟）";
    const char* const kBattery = "（可能原因：主板电池失效）";
    const struct {
        bool limitOn;
        double limitMs;
        double offset;
        Outcome outcome;
        const char* decision;
        const char* cause;
        const char* text;
        Rgb color;
        int answering = 0;  // of two servers listed; 0: one server listed
    } cases[] = {
        {true, 1000, 0.999, Stepped, kBelow, "", " 0.999000 秒", kGrey},
        {true, 1000, 1.0, kTooLarge, kNotBelow, "", " 1.000000 秒", kGreen},
        {true, 1000, -1.0, kTooLarge, kNotBelow, "", " -1.000000 秒", kRed},
        {true, 1000, -3600.0000006, kTooLarge, kNotBelow, kZone, " -3600.000001 秒", kRed},
        {true, 1, 0.0005, Stepped, kBelow, "", " 0.000500 秒", kGrey},
        {false, 1000, -30.0, Stepped, kNoLimit, "", " -30.000000 秒", kGrey},
        {false, 1000, 3e7, Stepped, kNoLimit, kBattery, " 30000000.000000 秒", kGrey},
        {false, 1000, 0.25, Stepped, kNoLimit, "", " 0.250000 秒", kGrey, 2},
        {false, 1000, 0.75, WithheldNoSecondOpinion, kAlone, "", " 0.750000 秒", kGreen, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        TestRig rig;
        rig.prepareExchange();
        rig.server.drop = [](int) { return true; };
        rig.startLog();
        MainForm& form = *rig.form;
        form.settings.limitOn = c.limitOn;
        form.settings.limitMs = c.limitMs;
        std::vector<Reply> replies(25, Reply{c.offset, 0.0});  // no delay: offsets exact
        if (c.answering > 0) {
            form.servers = {"192.0.2.1      ", "192.0.2.2"};
            for (std::size_t i = 0; i < replies.size(); i += 2) {
                replies[i].server = static_cast<std::int16_t>(c.answering - 1);
            }
        }
        const std::int64_t before = rig.time.utcMs();
        // A burst in the measuring state whose records hold the replies, handed to adjust.
        form.autoRun = true;
        measureCommand(form);
        form.replyRecords = test::recordsOf(replies);
        form.lastBurst = evaluateBurst(form.replyRecords, static_cast<int>(replies.size()),
                                       static_cast<int>(form.servers.size()), 0.001)
                             .result;
        adjust(form, {Outcome::Evaluated, {}, {}});
        const bool corrected = c.outcome == Stepped;
        EXPECT_FALSE(form.autoRun);
        EXPECT_EQ(form.lastOutcome.outcome, c.outcome);
        EXPECT_EQ(rig.time.clockSteps().size(), corrected ? 1U : 0U);
        EXPECT_NEAR(static_cast<double>(rig.time.utcMs() - before),
                    corrected ? c.offset * 1000 : 0.0, 1.0);
        EXPECT_EQ(form.Command6.isEnabled(), !corrected);
        EXPECT_EQ(form.Text3.text(), c.text);
        EXPECT_EQ(form.Text3.foreColor(), c.color);
        // Start, result, the correction when there is one, and the decision.
        const std::vector<std::string> log = rig.logLines();
        EXPECT_EQ(log.size(), corrected ? 4U : 3U);
        EXPECT_EQ(log.back().substr(log.back().find("   ")), std::string(c.decision) + c.cause);
    }
}

}  // namespace
}  // namespace korvel
