#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sntp/burst_evaluation.h"
#include "sntp/drift_model.h"
#include "sntp/outcome.h"

namespace korvel {

// Above this the keeper steps instead of slewing. The kernel slews at 500 ppm, so half a second
// is gone in 1000 s, long before the next run half an hour later; a clock that never goes back
// matters more to what stamps files and logs than catching up a few minutes sooner.
inline constexpr double kStepThresholdSec = 0.5;
// An unattended run never steps further, except in the first run after the system started when
// every server that answered agrees (a board battery may have lost the date): the correction
// policy's rule.
inline constexpr double kLargestUnattendedStepSec = 1000.0;
// The runs a state keeps: with the fit's age weighting, older ones count for nothing.
inline constexpr std::size_t kKeptRuns = 16;

// A run's burst asks fewer requests once the model foretells the clock well: the frequency known
// to kShortBurstPpm (0.2 ppm is 0.42 ms over the timer's longest gap of 35 min at one standard
// error, the LAN's 1 ms bound at 2.4; a link too noisy to get there keeps full bursts) and a run
// of this boot within kShortBurstGapSec whose servers all agreed and that corrected the clock,
// so the phase is known too: after a failed, held or missed run the next burst is full again.
// Twelve: four to each of three servers, so each keeps the three replies it needs to speak in
// the agreement with one lost, and two may be lost in all before the burst has too few.
inline constexpr int kShortBurstRequests = 12;
inline constexpr double kShortBurstPpm = 0.2;
inline constexpr double kShortBurstGapSec = 2400.0;

enum class KeeperAction : std::uint8_t {
    None,           // held: nothing done to the clock
    Stepped,        // the clock stepped (and the frequency set when known)
    Slewed,         // the offset slewed away (and the frequency set when known)
    FrequencyOnly,  // nothing left to slew: the frequency set
};

// One run as the keeper's state remembers it.
struct KeptRun {
    double wallSec = 0.0;    // UTC at the burst's middle, seconds since 1970
    double steadySec = 0.0;  // the monotonic clock at the same moment
    DriftSample sample;      // its offset and what it did; frequencyPpm as it left the clock
    KeeperAction action = KeeperAction::None;
};

// What the keeper remembers between runs.
struct KeeperState {
    std::string bootId;
    std::optional<FrequencyEstimate> frequency;  // the clock's needed correction, once known
    std::vector<KeptRun> runs;                   // oldest first, of this boot
};

// The state as its file holds it, versioned.
std::string keeperStateText(const KeeperState& state);

struct LoadedKeeperState {
    KeeperState state;
    std::string problem;  // why the text was not taken (the state is then empty); empty if it was
};

// Reads a state file's text; a garbled, unknown-version or future-dated one (a run later than
// nowWallSec by more than a minute) starts afresh.
LoadedKeeperState parseKeeperState(std::string_view text, double nowWallSec);

// Where this run stands against the last: a run from an earlier boot keeps only the frequency,
// and so does a clock that someone else stepped since (its wall clock moved against the
// monotonic one by more than the keeper's own steps and, where the monotonic clock does not
// follow it, the frequency the keeper set). note says what was dropped, if anything.
void continueKeeperState(KeeperState& state, const std::string& bootId, double wallSec,
                         double steadySec, bool steadyFollowsFrequency, std::string& note);

// What one unattended run measured, as the keeper takes it.
struct KeeperInput {
    double offsetSec = 0.0;  // at the burst's middle
    double spreadSec = 0.0;
    double wallSec = 0.0;  // the burst's middle
    double steadySec = 0.0;
    bool everyResponderAgrees = false;  // every server that answered is in the agreeing group
    bool firstRunAfterBoot = false;     // no earlier run of this boot
    bool mayAdjust = false;             // the process may set the frequency and slew, not only step
    double appliedPpm = 0.0;            // the frequency correction in effect now
    double sinceMiddleSec = 0.0;        // from the burst's middle to the correction
};

struct KeeperDecision {
    KeeperAction action = KeeperAction::None;
    double phaseSec = 0.0;               // to step or slew by
    std::optional<double> frequencyPpm;  // to set, when known
    DriftEstimate estimate;
};

// The requests this run's burst asks, on its state continued to this boot and clock at
// wallSec: kShortBurstRequests where the model allows, else a full burst's.
int keepingRequests(const KeeperState& state, double wallSec);

// How the keeper corrects for this run on its state (continued to this boot and clock), once
// the correction policy allows a correction: the frequency when known, and a step above the
// threshold (or without the right to adjust), else a slew.
KeeperDecision decideKeeping(const KeeperState& state, const KeeperInput& input);

// The state after the run: this run added (what it did, the frequency it left; a default
// decision for a run the policy held), the oldest dropped beyond kKeptRuns, the frequency
// estimate kept.
void recordKeeperRun(KeeperState& state, const KeeperInput& input, const KeeperDecision& decision);

// Where and how well a burst measured: the middle of its averaged replies' exchanges (NTP
// seconds of the local clock) and one standard error of its offset.
struct BurstMiddle {
    double atNtpSec = 0.0;
    double spreadSec = 0.0;
};
BurstMiddle burstMiddle(const BurstResult& result, const ReplyRecords& records);

// What a run measured, as the keeper takes it: the burst's offset at its middle, read against
// the wall and monotonic clocks now (seconds), with the frequency correction in effect.
KeeperInput keeperInput(const BurstResult& result, const ReplyRecords& records, double wallNowSec,
                        double steadyNowSec, double appliedPpm, bool firstRunAfterBoot);

// Every server that answered is in the agreeing group.
bool everyResponderAgrees(const BurstResult& result);

// What users may read of the keeper, one line: its last run (when, in NTP seconds, what it did,
// the offset it measured), the frequency it left and, once known, what the clock needs with
// its uncertainty (ppm). Empty before any run.
std::string keeperStatusText(const KeeperState& state);

// The status line read back: nullopt when it is not one.
struct KeeperStatus {
    double atNtpSec = 0.0;
    KeeperAction action = KeeperAction::None;
    double offsetSec = 0.0;
    double frequencyPpm = 0.0;
};
std::optional<KeeperStatus> parseKeeperStatus(std::string_view line);

// What the window says of the keeper holding the clock: when it last ran (minutes before
// nowNtpSec), what it did with which offset, and the frequency it left.
std::string keeperStatusWords(const KeeperStatus& status, double nowNtpSec);

// The action as the run's line names it.
const char* keeperActionName(KeeperAction action);

}  // namespace korvel
