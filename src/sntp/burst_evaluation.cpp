#include "sntp/burst_evaluation.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace korvel {

namespace {

constexpr int kSlowestDropped = 3;

// Exchange sort over records first..last by a field, ascending; equal values stay put, so
// which of two equal offsets counts as the extreme one is the order they arrived in.
template <typename Key>
void exchangeSort(ReplyRecords& records, int first, int last, Key key) {
    for (int i = first; i <= last; ++i) {
        for (int j = i; j <= last; ++j) {
            auto& a = records[static_cast<std::size_t>(i)];
            auto& b = records[static_cast<std::size_t>(j)];
            if (key(a) > key(b)) {
                std::swap(a, b);
            }
        }
    }
}

template <typename Pick>
double usedDelay(const BurstResult& result, const ReplyRecords& records, Pick pick) {
    double found = 0.0;
    bool any = false;
    for (int i = 1; i <= result.counted; ++i) {
        if (result.uses[static_cast<std::size_t>(i - 1)] == ReplyUse::Used) {
            const double delay = records[static_cast<std::size_t>(i)].delay;
            found = any ? pick(found, delay) : delay;
            any = true;
        }
    }
    return found;
}

}  // namespace

int BurstResult::usedCount() const {
    return static_cast<int>(std::count(uses.begin(), uses.end(), ReplyUse::Used));
}

double BurstResult::fastestUsedDelay(const ReplyRecords& records) const {
    return usedDelay(*this, records, [](double a, double b) { return std::min(a, b); });
}

double BurstResult::slowestUsedDelay(const ReplyRecords& records) const {
    return usedDelay(*this, records, [](double a, double b) { return std::max(a, b); });
}

double roundToWholeSeconds(double seconds) {
    const double whole = std::trunc(seconds);
    const double fraction = seconds - whole;
    if (fraction > 0.5) {
        return whole + 1;
    }
    if (fraction < -0.5) {
        return whole - 1;
    }
    return whole;
}

BurstEvaluation evaluateBurst(ReplyRecords& records, int n) {
    BurstEvaluation evaluation;
    BurstResult& result = evaluation.result;
    if (n < kFewestEvaluatedReplies || n >= static_cast<int>(records.size())) {
        return evaluation;
    }
    result.counted = n;
    for (int i = 1; i <= n; ++i) {
        ReplyRecord& r = records[static_cast<std::size_t>(i)];
        r.offset = (r.t3 + r.t2 - r.t1 - r.t4) / 2;
        r.delay = (r.t4 - r.t1) - (r.t3 - r.t2);
        result.flagged += r.invalid;
    }
    if (result.flagged > kMostFlaggedReplies) {
        evaluation.outcome = Outcome::RejectedInvalid;
        return evaluation;
    }

    exchangeSort(records, 1, n, [](const ReplyRecord& r) { return r.offset; });
    // The two extreme offsets (records 1 and n) take no further part.
    exchangeSort(records, 2, n - 1, [](const ReplyRecord& r) { return r.delay; });
    result.uses.assign(static_cast<std::size_t>(n), ReplyUse::Used);
    result.uses.front() = ReplyUse::ExtremeOffset;
    result.uses.back() = ReplyUse::ExtremeOffset;
    double sum = 0.0;
    for (int i = 2; i <= n - 1; ++i) {
        if (i > n - 1 - kSlowestDropped) {
            result.uses[static_cast<std::size_t>(i - 1)] = ReplyUse::Slow;
        } else {
            sum += records[static_cast<std::size_t>(i)].offset;
        }
    }
    result.offsetSec = sum / (n - 2 - kSlowestDropped);
    result.offsetWholeSec = roundToWholeSeconds(result.offsetSec);
    evaluation.outcome = Outcome::Evaluated;
    return evaluation;
}

}  // namespace korvel
