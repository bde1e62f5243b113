#include "ui/form/burst_details.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/test_rig.h"

namespace korvel::test {
namespace {

// A burst of one reply of each kind after the used ones, as the evaluation leaves them, each
// drawn inside the plot's frame, never on it; then a run longer than the model keeps.
TEST(BurstDetails, MarksEachReplyWithItsUseAFailedBurstClearsThemAndTheRunKeepsItsLatest) {
    ReplyRecords records{};
    BurstResult result;
    result.uses = {ReplyUse::Used,          ReplyUse::Used,        ReplyUse::ExtremeOffset,
                   ReplyUse::ExtremeOffset, ReplyUse::Slow,        ReplyUse::Slow,
                   ReplyUse::Slow,          ReplyUse::Flagged,     ReplyUse::Inconsistent,
                   ReplyUse::OutsideGroup,  ReplyUse::OutsideGroup};
    result.counted = static_cast<int>(result.uses.size());
    result.offsetSec = 3.25;
    for (int i = 1; i <= result.counted; ++i) {
        records[static_cast<std::size_t>(i)].offset = 3.2 + i / 100.0;
        records[static_cast<std::size_t>(i)].delay = i / 1000.0;
    }
    BurstDetails details;
    EXPECT_EQ(details.burstNotice(), "尚未测时");
    int changes = 0;
    const Connection counting = details.changed.connect([&] { ++changes; });

    details.record(Outcome::Evaluated, result, records, 5000, {"192.0.2.2 来自 pool.cn"});
    std::string counts;  // in the legend's order
    for (const MarkStyle& mark : kReplyMarks) {
        counts += std::to_string(details.countOf(mark.use)) + " ";
    }
    EXPECT_EQ(counts, "2 2 3 1 1 2 ");
    EXPECT_EQ(details.legendText(kReplyMarks[2]), "舍弃：延迟最大 3");
    EXPECT_DOUBLE_EQ(details.burstPoints()[4].delayMs, 5.0);
    EXPECT_DOUBLE_EQ(details.burstPoints()[4].offsetSec, 3.25);
    EXPECT_EQ(details.meanText(), "平均 3.250000 秒");
    EXPECT_EQ(details.burstNotice(), "");
    const Axis delays = details.delayAxis();
    const Axis offsets = details.burstOffsetAxis();
    for (const BurstPoint& point : details.burstPoints()) {
        for (const double at :
             {delays.fraction(point.delayMs), offsets.fraction(point.offsetSec)}) {
            EXPECT_TRUE(at > 0.01 && at < 0.99) << at;
        }
    }

    // A correction's outcome leaves the burst; a burst without a result clears it.
    details.record(Outcome::StepRefused, {}, records, 6000);
    EXPECT_EQ(details.burstPoints().size(), 11u);
    EXPECT_EQ(details.serverNotes(), std::vector<std::string>{"192.0.2.2 来自 pool.cn"});
    details.record(Outcome::NoReply, {}, records, 7000);
    EXPECT_TRUE(details.burstPoints().empty() && !details.meanSec() &&
                details.serverNotes().empty());
    EXPECT_EQ(details.burstNotice(), "上次测时没有结果");
    EXPECT_EQ(details.runPoints().size(), 1u);
    EXPECT_EQ(changes, 2);

    // The run keeps its latest offsets, and a long one is shown in hours.
    for (int minute = 1; minute < static_cast<int>(BurstDetails::kMostRunPoints) + 5; ++minute) {
        details.record(Outcome::Evaluated, {}, records, 5000 + minute * 60'000);
    }
    EXPECT_EQ(details.runPoints().size(), BurstDetails::kMostRunPoints);
    EXPECT_EQ(details.runPoints().front().elapsedSec, 5 * 60.0);  // the first five are gone
    EXPECT_EQ(details.timeAxisCaption(), "运行时间（小时）");
    EXPECT_EQ(std::pair(details.timeAxis().low, details.timeAxis().high), std::pair(0.0, 20.0));
}

// The form's own burst feeds the model: the used replies' offsets average to the result.
TEST(BurstDetails, TakesTheFormsBurstInEvaluationOrder) {
    TestRig rig;
    rig.startProgram();
    BurstDetails details(*rig.form);
    rig.measure();
    ASSERT_EQ(rig.form->lastOutcome.outcome, Outcome::Evaluated);
    EXPECT_EQ(static_cast<int>(details.burstPoints().size()), rig.form->lastBurst.counted);
    double sum = 0.0;
    for (const BurstPoint& point : details.burstPoints()) {
        sum += point.use == ReplyUse::Used ? point.offsetSec : 0.0;
    }
    EXPECT_NEAR(sum / details.countOf(ReplyUse::Used), rig.form->offsetSec, 1e-9);
}

TEST(BurstDetails, DriftIsTheSlopeWithinEachStretchBetweenTheProgramsSteps) {
    using enum Outcome;
    struct Event {
        Outcome outcome;
        int minute;
        double offsetSec = 0.0;
    };
    using Events = std::vector<Event>;
    const char* const none = "时钟漂移：尚无可比的两次测时";
    const struct {
        const char* name;
        Events events;
        const char* text;
    } cases[] = {
        {"no offset", Events{}, none},
        {"one offset", Events{{Evaluated, 0, 0.5}}, none},
        {"falling 0.6 ms in 10 min: the clock gains",
         Events{{Evaluated, 0, 0.0}, {TooFewReplies, 5}, {Evaluated, 10, -0.0006}},
         "时钟漂移 1.00 ppm（本机每天快 0.086 秒）"},
        {"one offset on either side of a step",
         Events{{Evaluated, 0, 2.0}, {Stepped, 1}, {Evaluated, 10, 0.0}}, none},
        {"rising on both sides of a step of unknown outcome",
         Events{{Evaluated, 0, 2.0},
                {Evaluated, 10, 2.0012},
                {StepUnknown, 11},
                {Evaluated, 20, 0.0},
                {Evaluated, 30, 0.0012}},
         "时钟漂移 -2.00 ppm（本机每天慢 0.173 秒）"},
    };
    const ReplyRecords records{};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BurstDetails details;
        for (const Event& event : c.events) {
            BurstResult result;
            result.offsetSec = event.offsetSec;
            details.record(event.outcome, result, records, event.minute * 60'000);
        }
        EXPECT_EQ(details.driftText(), c.text);
    }
}

// The labels run from the axis' low end to its high end by its step.
TEST(BurstDetails, AxesStepByOneTwoOrFiveAndLabelWithTheDigitsTheStepNeeds) {
    const struct {
        double lowest, highest, leastSpan;
        double low, high;
        const char* labels;
    } cases[] = {
        {3.2501, 3.2549, 0.002, 3.250, 3.255, "3.250 3.251 3.252 3.253 3.254 3.255"},
        {5, 5, 1, 4.4, 5.6, "4.4 4.6 4.8 5.0 5.2 5.4 5.6"},
        {-0.7, 0.2, 0.002, -0.8, 0.2, "-0.8 -0.6 -0.4 -0.2 0.0 0.2"},
        {12, 480, 1, 0, 500, "0 100 200 300 400 500"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.labels);
        const Axis axis = plotAxis(c.lowest, c.highest, c.leastSpan);
        EXPECT_NEAR(axis.low, c.low, 1e-9);
        EXPECT_NEAR(axis.high, c.high, 1e-9);
        std::string labels;
        for (const double tick : axis.ticks()) {
            labels += (labels.empty() ? "" : " ") + axis.label(tick);
        }
        EXPECT_EQ(labels, c.labels);
    }
}

}  // namespace
}  // namespace korvel::test
