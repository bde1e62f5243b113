#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/clock_adjustment.h"
#include "platform/keeper_state_store.h"
#include "sntp/burst_evaluation.h"
#include "sntp/keeper.h"
#include "sntp/outcome.h"
#include "sntp/sent_requests.h"

namespace korvel {

// What an unattended run adds to the scheduled correction when it has a state folder: it
// remembers the runs, sets the clock's frequency and slews small offsets, and steps only what
// the servers can justify.
class KeeperRun {
public:
    KeeperRun(KeeperStateStore& store, ClockAdjustment& adjustment, SteadyClock& steady);

    // Holds the state for this run (another run waits), reads it and continues it to this
    // boot and clock. Before the burst.
    void begin();
    bool firstRunAfterBoot() const { return m_firstRunAfterBoot; }
    // The requests this run's burst asks: fewer once the keeper's model allows.
    int requests() const { return m_requests; }

    const KeeperState& state() const { return m_state; }
    // This run's measurement as the keeper takes it, for the correction policy.
    KeeperInput measurement(const BurstResult& result, const ReplyRecords& records);
    // Corrects the clock as the policy decided, in a process that holds the right to set it:
    // the frequency, a slew or a step (through directClock, which answers at once); a refused
    // adjustment steps instead, said once. The state and the status are written.
    OutcomeRecord correct(const KeeperInput& input, KeeperDecision decision,
                          SystemClock& directClock);
    // Remembers a run the policy held.
    void recordHeld(const KeeperInput& input);

    // What the run's line adds: the action, the frequency with its uncertainty, and what was
    // dropped or refused on the way.
    std::string summary() const;

private:
    void save();

    KeeperStateStore& m_store;
    ClockAdjustment& m_adjustment;
    SteadyClock& m_steady;
    KeeperState m_state;
    bool m_firstRunAfterBoot = true;
    int m_requests = kRequestsPerBurst;
    KeeperAction m_action = KeeperAction::None;
    double m_frequencyPpm = 0.0;
    std::optional<FrequencyEstimate> m_estimate;
    std::string m_notes;
};

// Gives the clock back when the keeper is removed: where the state shows it adjusted the clock
// in this boot, the frequency correction and any pending slew are reset, and the state keeps
// only the frequency it found. What was done, for the remover's output.
std::string releaseClock(KeeperStateStore& store, ClockAdjustment& adjustment);

}  // namespace korvel
