#include "sntp/burst_evaluation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/reply_records.h"

namespace korvel {
namespace {

using test::Reply;

// Groups of replies, 10 ms each: count of a server at the offset, invalid if flagged.
struct Group {
    std::int16_t server;
    double offset;
    int count = 8;
    std::int16_t invalid = 0;
};
std::vector<Reply> from(std::initializer_list<Group> groups) {
    std::vector<Reply> all;
    for (const Group& g : groups) {
        all.insert(all.end(), static_cast<std::size_t>(g.count),
                   Reply{g.offset, 0.010, g.invalid, g.server});
    }
    return all;
}

BurstEvaluation evaluate(ReplyRecords& records, std::size_t n, std::size_t servers = 1) {
    return evaluateBurst(records, static_cast<int>(n), static_cast<int>(servers), 0.001);
}

using Use = ReplyUse;
using Replies = std::vector<Reply>;

// The two extreme offsets go first, however fast; of the rest the three slowest go too; the
// others are averaged. Equal offsets keep their arrival order, so the first of two equal
// smallest is the extreme one and the second may still be dropped as slow. Another measurement
// may stand in for this one within max(1 s, twice the spread of the offsets averaged).
TEST(BurstEvaluation, AveragesWhatIsLeftAfterTheExtremesAndTheThreeSlowest) {
    const std::vector<Use> kTenUses{Use::ExtremeOffset, Use::Used,         Use::Used, Use::Used,
                                    Use::Used,          Use::Used,         Use::Slow, Use::Slow,
                                    Use::Slow,          Use::ExtremeOffset};
    // Binary fractions, so that equal offsets are really equal.
    constexpr double kUnit = 1 / 8192.0;
    const auto r = [](double units, double delay) { return Reply{units * kUnit, delay}; };
    const struct {
        const char* what;
        std::vector<Reply> replies;
        double offset;
        double fastest, slowest;  // of the replies used
        double toleranceSec = 1.0;
    } cases[] = {
        {"ten replies",
         Replies{r(9, 1 / 1024.0), r(3, 0.09), r(2, 0.01), r(6, 0.08), r(1, 1 / 1024.0), r(4, 0.02),
                 r(8.5, 0.05), r(8, 0.07), r(5, 0.03), r(7, 0.04)},
         (2 + 4 + 5 + 7 + 8.5) * kUnit / 5, 0.01, 0.05},
        {"equal smallest offsets, the slow one second",
         Replies{r(1, 1 / 1024.0), r(1, 0.5), r(5, 0.375), r(6, 0.25), r(2, 2 / 128.0),
                 r(3, 3 / 128.0), r(4, 4 / 128.0), r(7, 5 / 128.0), r(8, 6 / 128.0),
                 r(9, 7 / 128.0)},
         (2 + 3 + 4 + 7 + 8) * kUnit / 5, 2 / 128.0, 6 / 128.0},
        {"4 s delays, 0.8 s between the offsets averaged",
         [] {
             Replies replies{{0.0, 1 / 1024.0}};
             for (int i = 1; i < 10; ++i) {
                 replies.push_back({0.2 * i, 4.0});
             }
             return replies;
         }(),
         0.6, 4.0, 4.0, 1.6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReplyRecords records = test::recordsOf(c.replies);
        const BurstEvaluation e = evaluate(records, 10);
        ASSERT_EQ(e.outcome, Outcome::Evaluated);
        EXPECT_NEAR(e.result.offsetSec, c.offset, 1e-12);
        EXPECT_EQ(e.result.uses, kTenUses);
        EXPECT_DOUBLE_EQ(e.result.fastestUsedDelay(records), c.fastest);
        EXPECT_DOUBLE_EQ(e.result.slowestUsedDelay(records), c.slowest);
        EXPECT_NEAR(agreementToleranceSec(e.result, records), c.toleranceSec, 1e-9);
        // Left in evaluation order: extremes outside, the rest by delay.
        EXPECT_EQ(records[1].delay, 1 / 1024.0);
        EXPECT_LE(records[2].delay, records[6].delay);
    }
}

// More than three flagged replies reject the burst; fewer never enter the mean; replies that
// could not bracket the true time with the median one are set aside; fewer than ten left to
// average are no burst. Replies an hour off no longer move the result.
TEST(BurstEvaluation, KeepsFlaggedAndImpossibleRepliesOutOfTheMean) {
    using enum Outcome;
    const struct {
        const char* what;
        std::vector<Reply> replies;
        Outcome outcome;
        int flagged, setAside;
    } cases[] = {
        {"3 of 13 flagged", from({{0, 0.5, 10}, {0, 3600, 3, 1}}), Evaluated, 3, 0},
        {"4 of 25 flagged", from({{0, 0.5, 21}, {0, 0.5, 4, 1}}), RejectedInvalid, 4, 0},
        {"3 of 12 flagged", from({{0, 0.5, 9}, {0, 0.5, 3, 1}}), TooFewReplies, 3, 0},
        {"2 of 25 an hour off", from({{0, 0.5, 23}, {0, 3600.5, 2}}), Evaluated, 0, 2},
        // 10 ms apart with 10 ms delays: just within what two replies can both bracket.
        {"within the delays", from({{0, 0.5, 23}, {0, 0.5105, 2}}), Evaluated, 0, 0},
        {"beyond the delays", from({{0, 0.5, 23}, {0, 0.5115, 2}}), Evaluated, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ReplyRecords records = test::recordsOf(c.replies);
        const BurstEvaluation e = evaluate(records, c.replies.size());
        EXPECT_EQ(e.outcome, c.outcome);
        EXPECT_EQ(e.result.flagged, c.flagged);
        EXPECT_EQ(e.result.servers[0].setAside, c.setAside);
        if (c.outcome == Outcome::Evaluated) {
            EXPECT_NEAR(e.result.offsetSec, 0.5, 0.0111);
            EXPECT_EQ(e.result.countOf(Use::Inconsistent), c.setAside);
            // The replies that took no part stand last.
            EXPECT_EQ(e.result.uses.back(), c.flagged > 0    ? Use::Flagged
                                            : c.setAside > 0 ? Use::Inconsistent
                                                             : Use::ExtremeOffset);
        }
    }
}

// With replies from several servers, those whose intervals (median ± max(25 ms, median
// delay / 2)) share a point agree; the largest group holding more than half of the servers
// with three or more usable replies is averaged, a tie going to the earliest-listed server.
// Where servers marked 'a' are authenticated, they alone vote: the group with the most of
// them, holding more than half, whatever the plain servers say. '+' marks a server that agreed.
TEST(BurstEvaluation, AveragesOnlyTheServersThatAgree) {
    using enum Outcome;
    const struct {
        std::vector<Reply> replies;
        Outcome outcome;
        std::string agreed;
        double offset;
        std::string authenticated = "";
    } cases[] = {
        {from({{0, 0.1}, {1, 3600.1}, {2, 0.12}, {3, 0.11, 6}}), Evaluated, "+-++", 0.11},
        {from({{0, 0.0}, {1, 0.040}, {2, 0.020}}), Evaluated, "+++", 0.020},
        {from({{0, 0.0, 12}, {1, 3600.0, 12}}), ServersDisagree, "--", 0.0},
        {from({{0, 1.0, 3}, {1, 0.0}, {2, 0.0}, {3, 1.0}}), ServersDisagree, "----", 0.0},
        {from({{0, 0.0}, {1, 0.040}, {2, 0.080}}), Evaluated, "++-", 0.020},
        {from({{0, 0.2, 20}, {1, 3600.0, 2}, {1, 3600.0, 4, 1}}), Evaluated, "+-", 0.2},
        // Neither of two servers has three usable replies: no group can agree.
        {from({{0, 0.0, 2}, {0, 0.0, 4, 1}, {1, 0.0, 2}, {1, 0.0, 4, 1}}), ServersDisagree, "--",
         0.0},
        {from({{0, 3600.0, 10}, {1, 0.0, 5}, {2, 0.0, 5}, {3, 0.0, 5}}), Evaluated, "+---", 3600.0,
         "a"},
        {from({{0, 5.0}, {1, 0.0}, {2, 0.0}, {3, 5.0}}), Evaluated, "-++-", 0.0, "-a"},
        {from({{0, 0.0}, {1, 3600.0}, {2, 0.0}}), ServersDisagree, "---", 0.0, "aa"},
        {from({{0, 0.0}, {1, 3600.0}}), ServersDisagree, "--", 0.0, "a"},
        {from({{0, 9.0, 5}, {1, 0.0, 5}, {2, 0.0, 5}, {3, 9.0, 5}, {4, 9.0, 5}}), Evaluated,
         "-++--", 0.0, "-aa"},
        // Two authenticated replies are no vote.
        {from({{0, 9.0, 2}, {1, 0.0}, {2, 0.0}}), Evaluated, "-++", 0.0, "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.agreed + " " + c.authenticated);
        ReplyRecords records = test::recordsOf(c.replies);
        for (ReplyRecord& r : records) {
            r.authenticated = c.authenticated.size() > static_cast<std::size_t>(r.server) &&
                              c.authenticated[static_cast<std::size_t>(r.server)] == 'a';
        }
        const BurstEvaluation e = evaluate(records, c.replies.size(), c.agreed.size());
        EXPECT_EQ(e.outcome, c.outcome);
        std::string agreed;
        for (const ServerSummary& s : e.result.servers) {
            agreed += s.agreed ? '+' : '-';
        }
        EXPECT_EQ(agreed, c.agreed);
        if (c.outcome == Evaluated) {
            EXPECT_NEAR(e.result.offsetSec, c.offset, 0.011);
        }
    }
}

// Whole seconds round halves toward zero. Large offsets near quarter hours point to the time
// zone (edges: an hour ± 2 s, 8 h 0 min 2.5 s, 5 h 30 min, 15 h), beyond 15 hours to the
// battery.
TEST(BurstEvaluation, WholeSecondsRoundHalvesTowardZeroAndLargeOffsetsHaveALikelyCause) {
    using enum OffsetCause;
    const struct {
        double offset;
        double whole;
        OffsetCause cause;
    } cases[] = {
        {0.0, 0.0, None},           {0.5, 0.0, None},         {0.5000001, 1.0, None},
        {1.5, 1.0, None},           {2.75, 3.0, None},        {-0.5, 0.0, None},
        {-0.6, -1.0, None},         {-1.5, -1.0, None},       {-1.5000001, -2.0, None},
        {3598.0, 3598, TimeZone},   {3602.0, 3602, TimeZone}, {3597.5, 3597, None},
        {-3602.5, -3602, None},     {900.0, 900, None},       {-28800.3, -28800, TimeZone},
        {19801.0, 19801, TimeZone}, {28802.5, 28802, None},   {54000.0, 54000, TimeZone},
        {54001.0, 54001, Battery},  {1e6, 1e6, Battery},      {-1e6, -1e6, Battery},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(roundToWholeSeconds(c.offset), c.whole) << c.offset;
        EXPECT_EQ(likelyCause(c.offset), c.cause) << c.offset;
    }
}

}  // namespace
}  // namespace korvel
