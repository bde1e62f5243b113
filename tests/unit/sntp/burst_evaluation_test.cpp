#include "sntp/burst_evaluation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace korvel {
namespace {

struct Reply {
    double offset;
    double delay;
    std::int16_t invalid = 0;
};

// Records 1..n holding replies with the given offset and delay (t1 = 0, the server answering
// at once), in arrival order.
ReplyRecords recordsOf(const std::vector<Reply>& replies) {
    ReplyRecords records{};
    for (std::size_t i = 0; i < replies.size(); ++i) {
        ReplyRecord& r = records[i + 1];
        r.t2 = replies[i].offset + replies[i].delay / 2;
        r.t3 = r.t2;
        r.t4 = replies[i].delay;
        r.invalid = replies[i].invalid;
    }
    return records;
}

using Use = ReplyUse;

// The two extreme offsets go first, however fast; of the rest the three slowest go too; the
// others are averaged. Equal offsets keep their arrival order, so the first of two equal
// smallest is the extreme one and the second may still be dropped as slow.
TEST(BurstEvaluation, AveragesWhatIsLeftAfterTheExtremesAndTheThreeSlowest) {
    const struct {
        const char* what;
        std::vector<Reply> replies;
        double offset;
        std::vector<Use> uses;  // in evaluation order
    } cases[] = {
        {"ten replies",
         {{0.90, 1 / 1024.0},
          {0.30, 0.090},
          {0.20, 0.010},
          {0.60, 0.080},
          {0.10, 1 / 1024.0},
          {0.40, 0.020},
          {0.85, 0.050},
          {0.80, 0.070},
          {0.50, 0.030},
          {0.70, 0.040}},
         (0.20 + 0.40 + 0.50 + 0.70 + 0.85) / 5,
         {Use::ExtremeOffset, Use::Used, Use::Used, Use::Used, Use::Used, Use::Used, Use::Slow,
          Use::Slow, Use::Slow, Use::ExtremeOffset}},
        // Values exact in binary, so the two smallest offsets are really equal.
        {"equal smallest offsets, the slow one second",
         {{0.125, 1 / 1024.0},
          {0.125, 0.5},
          {0.5, 0.375},
          {0.625, 0.25},
          {0.25, 2 / 1024.0},
          {0.3125, 3 / 1024.0},
          {0.375, 4 / 1024.0},
          {0.75, 5 / 1024.0},
          {0.875, 6 / 1024.0},
          {0.9375, 7 / 1024.0}},
         (0.25 + 0.3125 + 0.375 + 0.75 + 0.875) / 5,
         {Use::ExtremeOffset, Use::Used, Use::Used, Use::Used, Use::Used, Use::Used, Use::Slow,
          Use::Slow, Use::Slow, Use::ExtremeOffset}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReplyRecords records = recordsOf(c.replies);
        const BurstEvaluation e = evaluateBurst(records, static_cast<int>(c.replies.size()));
        ASSERT_EQ(e.outcome, Outcome::Evaluated);
        EXPECT_NEAR(e.result.offsetSec, c.offset, 1e-12);
        EXPECT_EQ(e.result.uses, c.uses);
        EXPECT_EQ(e.result.usedCount(), 5);
        EXPECT_EQ(e.result.counted, 10);
        // Left in evaluation order: extremes outside, the rest by delay.
        EXPECT_EQ(records[1].delay, 1 / 1024.0);
        EXPECT_LE(records[2].delay, records[6].delay);
    }
}

TEST(BurstEvaluation, TwentyFiveRepliesAverageTwentyAndLeaveOutTheThreeSlowest) {
    // Offsets 0.01 .. 0.25 in a shuffled order; the slow replies carry 0.05, 0.13 and 0.20.
    std::vector<Reply> replies;
    for (int k = 0; k < 25; ++k) {
        const int i = (k * 7) % 25 + 1;
        const double delay = i == 5 ? 0.300 : i == 13 ? 0.200 : i == 20 ? 0.100 : 0.001 * i;
        replies.push_back({0.01 * i, delay});
    }
    ReplyRecords records = recordsOf(replies);
    const BurstEvaluation e = evaluateBurst(records, 25);
    const double kept = (325 - 1 - 25 - 5 - 13 - 20) * 0.01;
    EXPECT_NEAR(e.result.offsetSec, kept / 20, 1e-12);
    EXPECT_EQ(e.result.usedCount(), 20);
    EXPECT_NEAR(e.result.fastestUsedDelay(records), 0.002, 1e-12);
    EXPECT_NEAR(e.result.slowestUsedDelay(records), 0.024, 1e-12);
}

// More than three flagged replies reject the burst; fewer than ten replies are no burst.
TEST(BurstEvaluation, RejectsFourFlaggedRepliesAndCountsNoFewerThanTen) {
    const struct {
        int n;
        int flagged;
        Outcome outcome;
    } cases[] = {
        {10, 3, Outcome::Evaluated},    {10, 4, Outcome::RejectedInvalid},
        {25, 3, Outcome::Evaluated},    {25, 4, Outcome::RejectedInvalid},
        {9, 0, Outcome::TooFewReplies},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << " replies, " << c.flagged << " flagged");
        std::vector<Reply> replies(static_cast<std::size_t>(c.n), Reply{0.25, 0.01});
        for (int i = 0; i < c.flagged; ++i) {
            replies[static_cast<std::size_t>(i * 2)].invalid = 1;
        }
        ReplyRecords records = recordsOf(replies);
        const BurstEvaluation e = evaluateBurst(records, c.n);
        EXPECT_EQ(e.outcome, c.outcome);
        EXPECT_EQ(e.result.flagged, c.outcome == Outcome::TooFewReplies ? 0 : c.flagged);
    }
}

TEST(BurstEvaluation, WholeSecondsRoundHalvesTowardZero) {
    const struct {
        double offset;
        double whole;
    } cases[] = {
        {0.0, 0.0},  {0.5, 0.0},   {0.5000001, 1.0}, {1.5, 1.0},         {2.75, 3.0},
        {-0.5, 0.0}, {-0.6, -1.0}, {-1.5, -1.0},     {-1.5000001, -2.0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(roundToWholeSeconds(c.offset), c.whole) << c.offset;
    }
}

}  // namespace
}  // namespace korvel
