#pragma once

#include <cstdint>
#include <vector>

#include "sntp/outcome.h"
#include "sntp/reply_record.h"

namespace korvel {

inline constexpr int kFewestEvaluatedReplies = 10;
inline constexpr int kMostFlaggedReplies = 3;

// What became of one counted reply in the evaluation.
enum class ReplyUse : std::uint8_t {
    Used,           // averaged into the offset
    ExtremeOffset,  // the smallest or the largest offset
    Slow,           // among the three slowest of the rest
};

// An evaluated burst.
struct BurstResult {
    double offsetSec = 0.0;       // server minus local
    double offsetWholeSec = 0.0;  // rounded as roundToWholeSeconds does
    int counted = 0;              // replies evaluated
    int flagged = 0;              // of them, flagged invalid by the server
    std::vector<ReplyUse> uses;   // of records 1..counted, in evaluation order

    int usedCount() const;
    // Fastest and slowest round-trip delay of the averaged replies.
    double fastestUsedDelay(const ReplyRecords& records) const;
    double slowestUsedDelay(const ReplyRecords& records) const;
};

struct BurstEvaluation {
    Outcome outcome = Outcome::TooFewReplies;  // Evaluated, RejectedInvalid or TooFewReplies
    BurstResult result;                        // its offset meaningful when Evaluated
};

// Whole seconds: a fraction above 0.5 goes away from zero, anything else toward zero.
double roundToWholeSeconds(double seconds);

// Evaluates records 1..n: each one's offset and delay; rejected when more than three are
// flagged; else the two extreme offsets and the three slowest of the rest are dropped and the
// others averaged. The records are left in evaluation order. Fewer than ten are no burst.
BurstEvaluation evaluateBurst(ReplyRecords& records, int n);

}  // namespace korvel
