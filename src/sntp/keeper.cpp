#include "sntp/keeper.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "sntp/sent_requests.h"

namespace korvel {

namespace {

constexpr const char* kStateHeader = "korvel-keeper 1";
// A run recorded this far after now means a state from the future (or a clock set back).
constexpr double kFutureToleranceSec = 60.0;
// Wall clock against monotonic: anything beyond this that the keeper did not step itself was
// someone else's step (or a suspend, which breaks the phase history as well).
constexpr double kForeignStepSec = 0.005;
// Below the kernel's microsecond the offset is not worth a slew.
constexpr double kLeastSlewSec = 1e-6;

constexpr std::array<const char*, 4> kActionNames{"held", "stepped", "slewed", "frequencyOnly"};

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::optional<KeeperAction> actionNamed(const std::string& name) {
    for (std::size_t i = 0; i < kActionNames.size(); ++i) {
        if (name == kActionNames[i]) {
            return static_cast<KeeperAction>(i);
        }
    }
    return std::nullopt;
}

bool finite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

std::string seconds(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

}  // namespace

const char* keeperActionName(KeeperAction action) {
    return kActionNames[static_cast<std::size_t>(action)];
}

std::string keeperStateText(const KeeperState& state) {
    std::string text = std::string(kStateHeader) + "\nboot " + state.bootId + "\n";
    if (state.frequency) {
        text += "frequency " + number(state.frequency->ppm) + " " +
                number(state.frequency->uncertaintyPpm) + "\n";
    }
    for (const KeptRun& run : state.runs) {
        const DriftSample& s = run.sample;
        text += "run " + number(run.wallSec) + " " + number(run.steadySec) + " " +
                number(s.offsetSec) + " " + number(s.spreadSec) + " " + (s.trusted ? "1" : "0") +
                " " + keeperActionName(run.action) + " " + number(s.correctedSec) + " " +
                number(s.frequencyPpm) + "\n";
    }
    return text;
}

bool everyResponderAgrees(const BurstResult& result) {
    return std::all_of(result.servers.begin(), result.servers.end(),
                       [](const ServerSummary& s) { return s.replies == 0 || s.agreed; });
}

std::string keeperStatusText(const KeeperState& state) {
    if (state.runs.empty()) {
        return {};
    }
    const KeptRun& last = state.runs.back();
    std::string text = "korvel-keeper-status 1 " + number(last.wallSec) + " " +
                       keeperActionName(last.action) + " " + number(last.sample.offsetSec) + " " +
                       number(last.sample.frequencyPpm);
    if (state.frequency) {
        text += " " + number(state.frequency->ppm) + " " + number(state.frequency->uncertaintyPpm);
    }
    return text + "\n";
}

std::optional<KeeperStatus> parseKeeperStatus(std::string_view line) {
    std::istringstream fields{std::string(line)};
    std::string header, action;
    int version = 0;
    KeeperStatus status;
    fields >> header >> version >> status.atNtpSec >> action >> status.offsetSec >>
        status.frequencyPpm;
    const auto named = actionNamed(action);
    if (!fields || header != "korvel-keeper-status" || version != 1 || !named ||
        !finite({status.atNtpSec, status.offsetSec, status.frequencyPpm})) {
        return std::nullopt;
    }
    status.action = *named;
    return status;
}

std::string keeperStatusWords(const KeeperStatus& status, double nowNtpSec) {
    static constexpr std::array<const char*, 4> kDone{"未校准", "校准", "微调", "调频"};
    char text[160];
    std::snprintf(
        text, sizeof text, "定时校准保持时钟：%.0f 分钟前%s（时差 %.6f 秒），频率 %+.3f ppm",
        std::max(0.0, std::floor((nowNtpSec - status.atNtpSec) / 60)),
        kDone[static_cast<std::size_t>(status.action)], status.offsetSec, status.frequencyPpm);
    return text;
}

LoadedKeeperState parseKeeperState(std::string_view text, double nowWallSec) {
    const auto garbled = [](const std::string& why) { return LoadedKeeperState{{}, why}; };
    std::istringstream lines{std::string(text)};
    std::string line;
    if (!std::getline(lines, line) || line != kStateHeader) {
        return garbled("unknown state format");
    }
    KeeperState state;
    bool boot = false;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "boot" && !boot) {
            fields >> state.bootId;
            boot = !state.bootId.empty();
        } else if (kind == "frequency" && !state.frequency) {
            FrequencyEstimate f;
            fields >> f.ppm >> f.uncertaintyPpm;
            if (!fields || !finite({f.ppm, f.uncertaintyPpm}) ||
                std::abs(f.ppm) > kMostFrequencyPpm || f.uncertaintyPpm < 0) {
                return garbled("garbled frequency");
            }
            state.frequency = f;
        } else if (kind == "run" && state.runs.size() < kKeptRuns) {
            KeptRun run;
            DriftSample& s = run.sample;
            int trusted = 0;
            std::string action;
            fields >> run.wallSec >> run.steadySec >> s.offsetSec >> s.spreadSec >> trusted >>
                action >> s.correctedSec >> s.frequencyPpm;
            const auto named = actionNamed(action);
            if (!fields || !named || (trusted != 0 && trusted != 1) ||
                !finite({run.wallSec, run.steadySec, s.offsetSec, s.spreadSec, s.correctedSec,
                         s.frequencyPpm}) ||
                std::abs(s.frequencyPpm) > kMostFrequencyPpm) {
                return garbled("garbled run");
            }
            if (run.wallSec > nowWallSec + kFutureToleranceSec) {
                return garbled("a run recorded in the future");
            }
            s.atSec = run.wallSec;
            s.trusted = trusted == 1;
            run.action = *named;
            state.runs.push_back(run);
        } else {
            return garbled("garbled line");
        }
        std::string rest;
        if (fields >> rest) {
            return garbled("garbled line");
        }
    }
    if (!boot) {
        return garbled("no boot");
    }
    return {state, {}};
}

void continueKeeperState(KeeperState& state, const std::string& bootId, double wallSec,
                         double steadySec, bool steadyFollowsFrequency, std::string& note) {
    note.clear();
    if (state.bootId != bootId) {
        if (!state.runs.empty()) {
            note = "an earlier boot's runs dropped";
        }
        state.runs.clear();
        state.bootId = bootId;
        return;
    }
    if (state.runs.empty()) {
        return;
    }
    const KeptRun& last = state.runs.back();
    const double ownStep = last.action == KeeperAction::Stepped ? last.sample.correctedSec : 0.0;
    const double ownRate = steadyFollowsFrequency
                               ? 0.0
                               : last.sample.frequencyPpm * 1e-6 * (steadySec - last.steadySec);
    const double moved =
        (wallSec - steadySec) - (last.wallSec - last.steadySec) - ownStep - ownRate;
    if (std::abs(moved) > kForeignStepSec) {
        note = "the clock was stepped by " + seconds(moved) + " s since the last run";
        state.runs.clear();
    }
}

int keepingRequests(const KeeperState& state, double wallSec) {
    const bool settled = state.frequency && state.frequency->uncertaintyPpm < kShortBurstPpm;
    const bool recent = !state.runs.empty() && state.runs.back().sample.trusted &&
                        state.runs.back().action != KeeperAction::None &&
                        wallSec - state.runs.back().wallSec < kShortBurstGapSec;
    return settled && recent ? kShortBurstRequests : kRequestsPerBurst;
}

KeeperDecision decideKeeping(const KeeperState& state, const KeeperInput& input) {
    KeeperDecision decision;
    std::vector<DriftSample> samples;
    for (const KeptRun& run : state.runs) {
        samples.push_back(run.sample);
    }
    DriftSample now;
    now.atSec = input.wallSec;
    now.offsetSec = input.offsetSec;
    now.spreadSec = input.spreadSec;
    now.trusted = input.everyResponderAgrees;
    samples.push_back(now);
    const FrequencyEstimate* prior = state.frequency ? &*state.frequency : nullptr;
    decision.estimate = estimateDrift(samples, state.runs.empty() ? prior : nullptr);
    if (!decision.estimate.known && prior != nullptr) {
        decision.estimate.known = true;
        decision.estimate.frequency = *prior;
    }
    const DriftEstimate& e = decision.estimate;
    const double needed = e.known ? e.frequency.ppm : input.appliedPpm;
    // The fitted offset where the fit is sound and this run took part in it; else as measured.
    const double offset = e.runsFitted >= 3 && now.trusted ? e.lastOffsetSec : input.offsetSec;
    decision.phaseSec = carriedOffset(offset, needed, input.appliedPpm, input.sinceMiddleSec);
    if (!input.mayAdjust || std::abs(decision.phaseSec) > kStepThresholdSec) {
        decision.action = KeeperAction::Stepped;
    } else {
        decision.action = std::abs(decision.phaseSec) >= kLeastSlewSec
                              ? KeeperAction::Slewed
                              : KeeperAction::FrequencyOnly;
    }
    if (input.mayAdjust && e.known) {
        decision.frequencyPpm = std::clamp(e.frequency.ppm, -kMostFrequencyPpm, kMostFrequencyPpm);
    }
    return decision;
}

BurstMiddle burstMiddle(const BurstResult& result, const ReplyRecords& records) {
    std::vector<const ReplyRecord*> used;
    for (std::size_t i = 0; i < result.uses.size() && i + 1 < records.size(); ++i) {
        if (result.uses[i] == ReplyUse::Used) {
            used.push_back(&records[i + 1]);
        }
    }
    if (used.empty()) {
        return {};
    }
    const double n = static_cast<double>(used.size());
    double at = 0.0, mean = 0.0, squares = 0.0;
    for (const ReplyRecord* r : used) {
        at += (r->t1 + r->t4) / 2 / n;
        mean += r->offset / n;
    }
    for (const ReplyRecord* r : used) {
        squares += (r->offset - mean) * (r->offset - mean);
    }
    return {at, used.size() > 1 ? std::sqrt(squares / (n - 1) / n) : 0.0};
}

KeeperInput keeperInput(const BurstResult& result, const ReplyRecords& records, double wallNowSec,
                        double steadyNowSec, double appliedPpm, bool firstRunAfterBoot) {
    const BurstMiddle middle = burstMiddle(result, records);
    return {.offsetSec = result.offsetSec,
            .spreadSec = middle.spreadSec,
            .wallSec = middle.atNtpSec,
            .steadySec = steadyNowSec - (wallNowSec - middle.atNtpSec),
            .everyResponderAgrees = everyResponderAgrees(result),
            .firstRunAfterBoot = firstRunAfterBoot,
            .mayAdjust = true,
            .appliedPpm = appliedPpm,
            .sinceMiddleSec = wallNowSec - middle.atNtpSec};
}

void recordKeeperRun(KeeperState& state, const KeeperInput& input, const KeeperDecision& decision) {
    KeptRun run;
    run.wallSec = input.wallSec;
    run.steadySec = input.steadySec;
    run.action = decision.action;
    DriftSample& s = run.sample;
    s.atSec = input.wallSec;
    s.offsetSec = input.offsetSec;
    s.spreadSec = input.spreadSec;
    s.trusted = input.everyResponderAgrees;
    s.correctedSec =
        decision.action == KeeperAction::Stepped || decision.action == KeeperAction::Slewed
            ? decision.phaseSec
            : 0.0;
    s.frequencyPpm = decision.frequencyPpm.value_or(input.appliedPpm);
    state.runs.push_back(run);
    if (state.runs.size() > kKeptRuns) {
        state.runs.erase(state.runs.begin());
    }
    if (decision.estimate.known && decision.estimate.runsFitted >= 2) {
        state.frequency = decision.estimate.frequency;
    }
}

}  // namespace korvel
