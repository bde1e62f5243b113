#include "sntp/burst_evaluation.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

#include "sntp/sent_requests.h"

namespace korvel {

namespace {

constexpr double kQuarterHourSec = 900.0;
constexpr double kQuarterHoursInAnHour = 4.0;
constexpr double kQuarterHourToleranceSec = 2.0;
constexpr double kLargestZoneOffsetSec = 15 * 3600.0;

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

template <typename Field, typename Pick>
double usedFold(const BurstResult& result, const ReplyRecords& records, Field field, Pick pick) {
    double found = 0.0;
    bool any = false;
    for (std::size_t i = 0; i < result.uses.size(); ++i) {
        if (result.uses[i] == ReplyUse::Used) {
            const double value = field(records[i + 1]);
            found = any ? pick(found, value) : value;
            any = true;
        }
    }
    return found;
}

double delayOf(const ReplyRecord& r) {
    return r.delay;
}

double offsetOf(const ReplyRecord& r) {
    return r.offset;
}

double smaller(double a, double b) {
    return std::min(a, b);
}

double larger(double a, double b) {
    return std::max(a, b);
}

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

// The lower median of the values.
double lowerMedian(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) / 2];
}

// Sets aside the replies of one server that could not bracket the true time together with its
// median reply; the median and the rest give the server's summary.
void setAsideInconsistent(const ReplyRecords& records, const std::vector<int>& replies,
                          double resolutionSec, std::vector<ReplyUse>& fate,
                          ServerSummary& server) {
    std::vector<int> byOffset = replies;
    std::stable_sort(byOffset.begin(), byOffset.end(),
                     [&](int a, int b) { return records[at(a)].offset < records[at(b)].offset; });
    const ReplyRecord& median = records[at(byOffset[(byOffset.size() - 1) / 2])];
    std::vector<double> offsets;
    std::vector<double> delays;
    for (const int i : replies) {
        const ReplyRecord& r = records[at(i)];
        if (std::abs(r.offset - median.offset) > (r.delay + median.delay) / 2 + resolutionSec) {
            fate[at(i)] = ReplyUse::Inconsistent;
            ++server.setAside;
        } else {
            offsets.push_back(r.offset);
            delays.push_back(r.delay);
        }
    }
    server.usable = static_cast<int>(offsets.size());
    if (!offsets.empty()) {
        server.medianOffset = lowerMedian(offsets);
        server.medianDelay = lowerMedian(delays);
    }
}

// The servers whose intervals share a point: the group holding the most authenticated servers,
// then the largest, a tie going to the one that holds the earliest-listed server; empty unless
// it holds more than half of the authenticated intervals, or of all when none is authenticated.
std::vector<int> agreeingGroup(const std::vector<ServerSummary>& servers) {
    struct Interval {
        int server;
        double low;
        double high;
    };
    std::vector<Interval> intervals;
    std::size_t authenticated = 0;
    for (int s = 0; s < static_cast<int>(servers.size()); ++s) {
        const ServerSummary& summary = servers[at(s)];
        if (summary.usable >= kFewestRepliesToAgree) {
            const double halfWidth = std::max(kLeastAgreementHalfWidthSec, summary.medianDelay / 2);
            intervals.push_back(
                {s, summary.medianOffset - halfWidth, summary.medianOffset + halfWidth});
            authenticated += summary.authenticated ? 1 : 0;
        }
    }
    const auto votes = [&](const std::vector<int>& group) {
        return authenticated > 0 ? static_cast<std::size_t>(std::ranges::count_if(
                                       group, [&](int s) { return servers[at(s)].authenticated; }))
                                 : group.size();
    };
    std::vector<int> best;
    for (const Interval& candidate : intervals) {
        std::vector<int> group;
        for (const Interval& interval : intervals) {
            if (interval.low <= candidate.low && candidate.low <= interval.high) {
                group.push_back(interval.server);
            }
        }
        if (std::tuple(votes(group), group.size(), best) >
            std::tuple(votes(best), best.size(), group)) {
            best = std::move(group);
        }
    }
    const std::size_t voters = authenticated > 0 ? authenticated : intervals.size();
    return votes(best) * 2 > voters ? best : std::vector<int>{};
}

}  // namespace

int BurstResult::usedCount() const {
    return countOf(ReplyUse::Used);
}

int BurstResult::countOf(ReplyUse use) const {
    return static_cast<int>(std::count(uses.begin(), uses.end(), use));
}

double BurstResult::fastestUsedDelay(const ReplyRecords& records) const {
    return usedFold(*this, records, delayOf, smaller);
}

double BurstResult::slowestUsedDelay(const ReplyRecords& records) const {
    return usedFold(*this, records, delayOf, larger);
}

double BurstResult::usedOffsetSpread(const ReplyRecords& records) const {
    return usedFold(*this, records, offsetOf, larger) - usedFold(*this, records, offsetOf, smaller);
}

double agreementToleranceSec(const BurstResult& result, const ReplyRecords& records) {
    return std::max(kLeastAgreementToleranceSec, 2 * result.usedOffsetSpread(records));
}

OffsetCause likelyCause(double offsetSec) {
    const double size = std::abs(offsetSec);
    if (size > kLargestZoneOffsetSec) {
        return OffsetCause::Battery;
    }
    const double quarters = std::round(size / kQuarterHourSec);
    return quarters >= kQuarterHoursInAnHour &&
                   std::abs(size - quarters * kQuarterHourSec) <= kQuarterHourToleranceSec
               ? OffsetCause::TimeZone
               : OffsetCause::None;
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

int slowestDroppedOf(int requests) {
    return std::clamp(kSlowestDropped * requests / kRequestsPerBurst, 1, kSlowestDropped);
}

BurstEvaluation evaluateBurst(ReplyRecords& records, int n, int serverCount, double resolutionSec,
                              int slowestDropped) {
    BurstEvaluation evaluation;
    BurstResult& result = evaluation.result;
    result.servers.assign(at(serverCount), {});
    if (n < kFewestEvaluatedReplies || n >= static_cast<int>(records.size())) {
        return evaluation;
    }
    result.counted = n;
    std::vector<ReplyUse> fate(at(n + 1), ReplyUse::Used);  // by record, in arrival order
    std::vector<std::vector<int>> byServer(result.servers.size());
    for (int i = 1; i <= n; ++i) {
        ReplyRecord& r = records[at(i)];
        r.offset = (r.t3 + r.t2 - r.t1 - r.t4) / 2;
        r.delay = (r.t4 - r.t1) - (r.t3 - r.t2);
        if (at(r.server) >= result.servers.size()) {
            result.servers.resize(at(r.server + 1));
            byServer.resize(at(r.server + 1));
        }
        ++result.servers[at(r.server)].replies;
        result.servers[at(r.server)].authenticated |= r.authenticated;
        if (r.invalid != 0) {
            fate[at(i)] = ReplyUse::Flagged;
        } else {
            byServer[at(r.server)].push_back(i);
        }
    }
    for (std::size_t s = 0; s < byServer.size(); ++s) {
        if (!byServer[s].empty()) {
            setAsideInconsistent(records, byServer[s], resolutionSec, fate, result.servers[s]);
        }
    }

    const auto answering = std::count_if(result.servers.begin(), result.servers.end(),
                                         [](const ServerSummary& s) { return s.replies > 0; });
    std::vector<int> group;
    if (answering >= 2) {
        group = agreeingGroup(result.servers);
        if (group.empty()) {
            evaluation.outcome = Outcome::ServersDisagree;
            return evaluation;
        }
    } else {
        group.push_back(records[1].server);
    }
    for (const int s : group) {
        result.servers[at(s)].agreed = true;
    }
    result.agreedServers = static_cast<int>(group.size());
    for (int i = 1; i <= n; ++i) {
        const bool kept = result.servers[at(records[at(i)].server)].agreed;
        if (kept && fate[at(i)] == ReplyUse::Flagged) {
            ++result.flagged;
        } else if (!kept && fate[at(i)] != ReplyUse::Flagged) {
            fate[at(i)] = ReplyUse::OutsideGroup;
        }
    }
    if (result.flagged > kMostFlaggedReplies) {
        evaluation.outcome = Outcome::RejectedInvalid;
        return evaluation;
    }
    const int m = static_cast<int>(std::count(fate.begin() + 1, fate.end(), ReplyUse::Used));
    if (m < kFewestEvaluatedReplies) {
        // Authenticated servers too few to average that outvoted others: no agreement either.
        if (std::ranges::any_of(result.servers,
                                [](const ServerSummary& s) {
                                    return s.authenticated && s.usable >= kFewestRepliesToAgree;
                                }) &&
            static_cast<int>(group.size()) < answering) {
            evaluation.outcome = Outcome::ServersDisagree;
            for (ServerSummary& s : result.servers) {
                s.agreed = false;
            }
        }
        return evaluation;
    }

    // The replies that take part first, in arrival order, the others after them.
    ReplyRecords arrived = records;
    result.uses.clear();
    int next = 1;
    for (const bool taking : {true, false}) {
        for (int i = 1; i <= n; ++i) {
            if ((fate[at(i)] == ReplyUse::Used) == taking) {
                records[at(next++)] = arrived[at(i)];
                result.uses.push_back(fate[at(i)]);
            }
        }
    }
    exchangeSort(records, 1, m, [](const ReplyRecord& r) { return r.offset; });
    // The two extreme offsets (records 1 and m) take no further part.
    exchangeSort(records, 2, m - 1, [](const ReplyRecord& r) { return r.delay; });
    result.uses[0] = ReplyUse::ExtremeOffset;
    result.uses[at(m - 1)] = ReplyUse::ExtremeOffset;
    double sum = 0.0;
    for (int i = 2; i <= m - 1; ++i) {
        if (i > m - 1 - slowestDropped) {
            result.uses[at(i - 1)] = ReplyUse::Slow;
        } else {
            sum += records[at(i)].offset;
        }
    }
    result.offsetSec = sum / (m - 2 - slowestDropped);
    result.offsetWholeSec = roundToWholeSeconds(result.offsetSec);
    evaluation.outcome = Outcome::Evaluated;
    return evaluation;
}

}  // namespace korvel
