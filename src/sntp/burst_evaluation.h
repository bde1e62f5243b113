#pragma once

#include <cstdint>
#include <vector>

#include "sntp/outcome.h"
#include "sntp/reply_record.h"

namespace korvel {

inline constexpr int kFewestEvaluatedReplies = 10;
inline constexpr int kMostFlaggedReplies = 3;
// A server speaks in the agreement with this many usable replies.
inline constexpr int kFewestRepliesToAgree = 3;
// The least half-width of a server's interval in the agreement, in seconds.
inline constexpr double kLeastAgreementHalfWidthSec = 0.025;
// The slowest replies a burst of the full 30 requests drops from its mean.
inline constexpr int kSlowestDropped = 3;

// What became of one counted reply in the evaluation.
enum class ReplyUse : std::uint8_t {
    Used,           // averaged into the offset
    ExtremeOffset,  // the smallest or the largest offset
    Slow,           // among the three slowest of the rest
    Flagged,        // the server flagged its time invalid
    Inconsistent,   // could not bracket the true time together with the median reply
    OutsideGroup,   // its server did not agree with the others
};

// One server's part in a burst.
struct ServerSummary {
    int replies = 0;  // counted
    int setAside = 0;
    int usable = 0;             // neither flagged nor set aside
    double medianOffset = 0.0;  // of its usable replies
    double medianDelay = 0.0;
    bool agreed = false;         // in the agreeing group
    bool authenticated = false;  // its replies were proven by its NTS keys
};

// An evaluated burst.
struct BurstResult {
    double offsetSec = 0.0;       // server minus local
    double offsetWholeSec = 0.0;  // rounded as roundToWholeSeconds does
    int counted = 0;              // replies evaluated
    int flagged = 0;              // of them, flagged invalid by their server
    std::vector<ReplyUse> uses;   // of records 1..counted, in evaluation order
    std::vector<ServerSummary> servers;
    // Servers whose replies were averaged; the engine counts their configured entries, as a
    // name's several addresses are one opinion.
    int agreedServers = 0;

    int usedCount() const;
    int countOf(ReplyUse use) const;
    // Largest minus smallest offset of the averaged replies.
    double usedOffsetSpread(const ReplyRecords& records) const;
    // Fastest and slowest round-trip delay of the averaged replies.
    double fastestUsedDelay(const ReplyRecords& records) const;
    double slowestUsedDelay(const ReplyRecords& records) const;
};

struct BurstEvaluation {
    // Evaluated, RejectedInvalid, TooFewReplies or ServersDisagree.
    Outcome outcome = Outcome::TooFewReplies;
    BurstResult result;  // its offset meaningful when Evaluated
};

// How far a burst may lie from an offset the user agreed to and still be stepped in its place:
// max(1 s, twice the spread of the offsets averaged).
inline constexpr double kLeastAgreementToleranceSec = 1.0;
double agreementToleranceSec(const BurstResult& result, const ReplyRecords& records);

// Whole seconds: a fraction above 0.5 goes away from zero, anything else toward zero.
double roundToWholeSeconds(double seconds);

// What most likely put the local clock this far off.
enum class OffsetCause : std::uint8_t {
    None,
    TimeZone,  // a time zone, or a hardware clock kept in local time (dual boot)
    Battery,   // a failing board battery: the clock forgot the date
};

// TimeZone when the offset lies within 2 s of a whole number (one hour or more) of quarter
// hours; Battery when it is larger than 15 hours, which no time zone explains.
OffsetCause likelyCause(double offsetSec);

// Evaluates records 1..n from servers 0..serverCount-1. Each reply's offset and delay; flagged
// replies never enter the mean; a reply that could not bracket the true time together with its
// server's median reply (offsets further apart than half their delays together plus the
// clock's reading resolution) is set aside. With replies from two or more servers, those with
// three or more usable replies agree when their intervals (median offset ± max(25 ms, median
// delay / 2)) share a point: the largest such group, holding more than half of them, is kept.
// Where any of them is authenticated, only the authenticated ones vote: the group holding the
// most of them (then the largest) is kept when it holds more than half of them, the plain servers
// that share its point with it; a group without an authenticated server never outvotes one with.
// Such a group too small to average, other servers left out, is servers that disagree.
// Then, over the kept servers' replies, as ever: rejected when more than three are flagged;
// the two extreme offsets and the three slowest of the rest (slowestDropped) dropped and the
// others averaged. The records are left in evaluation order, the ones that took no part last.
// Fewer than ten replies, or usable kept ones, are no burst.
BurstEvaluation evaluateBurst(ReplyRecords& records, int n, int serverCount, double resolutionSec,
                              int slowestDropped = kSlowestDropped);

// The slowest replies dropped from a burst of this many requests: three of thirty, and as large
// a share of a smaller burst (one of twelve), so it averages as large a share of its replies.
int slowestDroppedOf(int requests);

}  // namespace korvel
