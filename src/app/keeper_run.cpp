#include "app/keeper_run.h"

#include <algorithm>
#include <cstdio>

#include "common/day_date.h"

namespace korvel {

namespace {

std::string ppm(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.3f", value);
    return text;
}

}  // namespace

KeeperRun::KeeperRun(KeeperStateStore& store, ClockAdjustment& adjustment, SteadyClock& steady)
    : m_store(store), m_adjustment(adjustment), m_steady(steady) {}

void KeeperRun::begin() {
    const auto note = [this](const std::string& text) {
        m_notes += (m_notes.empty() ? "" : ", ") + text;
    };
    if (std::string refusal = m_store.hold(); !refusal.empty()) {
        note("state not held: " + refusal);
    }
    const PairedReading now = m_steady.readPaired();
    const double wallSec = ntpSecondsOfUnixNs(now.utcNs);
    std::string problem;
    if (const auto text = m_store.read(problem)) {
        LoadedKeeperState loaded = parseKeeperState(*text, wallSec);
        m_state = std::move(loaded.state);
        problem = loaded.problem;
    }
    if (!problem.empty()) {
        note(problem + ", started afresh");
    }
    const std::string boot = m_store.bootId();
    m_firstRunAfterBoot = m_state.bootId != boot || m_state.runs.empty();
    std::string dropped;
    continueKeeperState(m_state, boot, wallSec, static_cast<double>(now.steadyMs) / 1000.0,
                        m_adjustment.steadyFollowsFrequency(), dropped);
    if (!dropped.empty()) {
        note(dropped);
    }
    m_requests = keepingRequests(m_state, wallSec);
    m_estimate = m_state.frequency;
    m_frequencyPpm = m_adjustment.frequencyPpm().value_or(0.0);
}

KeeperInput KeeperRun::measurement(const BurstResult& result, const ReplyRecords& records) {
    const PairedReading now = m_steady.readPaired();
    return keeperInput(result, records, ntpSecondsOfUnixNs(now.utcNs),
                       static_cast<double>(now.steadyMs) / 1000.0, m_frequencyPpm,
                       m_firstRunAfterBoot);
}

void KeeperRun::recordHeld(const KeeperInput& input) {
    recordKeeperRun(m_state, input, KeeperDecision{});
    save();
}

OutcomeRecord KeeperRun::correct(const KeeperInput& input, KeeperDecision decision,
                                 SystemClock& directClock) {
    // The kernel refusing an adjustment: the offset is stepped as before, and said once.
    const auto refused = [this](const AdjustmentRefusal& refusal) {
        if (!refusal.empty() && m_notes.find(refusal) == std::string::npos) {
            m_notes += (m_notes.empty() ? "" : ", ") + ("adjustment refused: " + refusal);
        }
        return !refusal.empty();
    };
    if (decision.frequencyPpm && !refused(m_adjustment.setFrequency(*decision.frequencyPpm))) {
        m_frequencyPpm = *decision.frequencyPpm;
    } else {
        decision.frequencyPpm.reset();
    }
    if (decision.action == KeeperAction::Slewed &&
        (!m_adjustment.canSlew() || refused(m_adjustment.slew(decision.phaseSec)))) {
        decision.action = KeeperAction::Stepped;
    }
    OutcomeRecord outcome{Outcome::Stepped, {}, {}};
    if (decision.action == KeeperAction::Stepped) {
        directClock.stepClock(decision.phaseSec, false, [&](ClockStepAnswer answer) {
            if (answer.outcome != ClockStep::Stepped) {
                outcome = {Outcome::StepRefused, answer.reason, {}};
                decision.action = KeeperAction::None;
            }
        });
    }
    m_action = decision.action;
    m_estimate = decision.estimate.known ? std::optional(decision.estimate.frequency) : m_estimate;
    recordKeeperRun(m_state, input, decision);
    save();
    return outcome;
}

void KeeperRun::save() {
    if (std::string problem = m_store.write(keeperStateText(m_state)); !problem.empty()) {
        m_notes += (m_notes.empty() ? "" : ", ") + ("state not written: " + problem);
    }
    m_store.writeStatus(keeperStatusText(m_state));
}

std::string KeeperRun::summary() const {
    std::string text = std::string("action ") + keeperActionName(m_action) + ", frequency " +
                       ppm(m_frequencyPpm) + " ppm";
    if (m_estimate) {
        text += " (needed " + ppm(m_estimate->ppm) + " ± " +
                ppm(m_estimate->uncertaintyPpm).substr(1) + " ppm)";
    }
    if (m_requests < kRequestsPerBurst) {
        text += ", " + std::to_string(m_requests) + " requests";
    }
    return m_notes.empty() ? text : text + ", " + m_notes;
}

std::string releaseClock(KeeperStateStore& store, ClockAdjustment& adjustment) {
    if (std::string refusal = store.hold(); !refusal.empty()) {
        return "state not held: " + refusal;
    }
    std::string problem;
    const auto text = store.read(problem);
    LoadedKeeperState loaded = parseKeeperState(text.value_or(""), 1e300);
    if (!text || !loaded.problem.empty() || loaded.state.bootId != store.bootId() ||
        loaded.state.runs.empty()) {
        return "the clock was not adjusted in this boot";
    }
    if (AdjustmentRefusal refusal = adjustment.reset(); !refusal.empty()) {
        return "not reset: " + refusal;
    }
    loaded.state.runs.clear();
    store.write(keeperStateText(loaded.state));
    return "frequency and slew reset";
}

}  // namespace korvel
