#pragma once

#include <cstdint>
#include <optional>

#include "sntp/keeper.h"
#include "sntp/outcome.h"

namespace korvel {

// Who asks for a correction.
enum class CorrectionRun : std::uint8_t {
    ByHand,      // 校准 in the window, or korvel-cli --apply
    Schedule,    // the window's scheduled calibration
    Unattended,  // korvel-cli --apply --unattended: the system's scheduled correction
};

// Everything the decision reads. Later rows add to it: the keeper's state (its run history,
// the step bound outside the first run after a boot) and which agreeing servers were
// authenticated.
struct CorrectionInput {
    CorrectionRun run = CorrectionRun::ByHand;
    double offsetSec = 0.0;  // server minus local, as evaluated
    int serversListed = 1;
    int agreedServers = 1;  // whose replies were averaged
    bool limitOn = false;   // 时差限制
    double limitMs = 0.0;
    bool stepPending = false;       // an earlier step may still land
    bool holdsRightToStep = false;  // the process may set the clock itself
    bool elevationNeeded = false;   // the right comes only by running the tool elevated
    bool otherTimeService = false;  // another time service keeps the clock
    // Unattended: no earlier run in this boot (the keeper's state tells; without it, never),
    // and every server that answered agreed.
    bool firstRunAfterBoot = false;
    bool everyResponderAgrees = false;
    // A run told the offset a user agreed to steps only on a measurement within the tolerance
    // of it: the server may answer otherwise now than when the user was asked.
    std::optional<double> agreedOffsetSec{};
    double agreementToleranceSec = 0.0;
    // Unattended with a state folder: the keeper's state and this run's measurement for it.
    const KeeperState* keeper = nullptr;
    KeeperInput keeping{};
    // Servers named as `nts:`, whether any gave authenticated time, and whether one that did
    // is in the agreeing group: its word counts where a step unasked goes far.
    int ntsServersNamed = 0;
    bool anyAuthenticated = false;
    bool authenticatedAgrees = false;
};

enum class CorrectionReason : std::uint8_t {
    UserAsked,
    BelowLimit,
    NoLimit,
    ServersAgreed,
    StepPending,
    NoSecondOpinion,
    OffsetTooLarge,
    OtherTimeService,
    OffsetChanged,
    NtsFailed,  // unattended, every server named as NTS failed: an attacker may block them
};

// How a step is made.
enum class StepVia : std::uint8_t {
    TimeService,   // the system's time service (timedated), or SetSystemTime
    Direct,        // by this process, which holds the right
    ElevatedTool,  // korvel-cli run with the right, after the user's consent
};

struct CorrectionDecision {
    bool step = false;
    CorrectionReason reason = CorrectionReason::UserAsked;
    // A hold's outcome; none for a step, or for a hold nobody is told of (a step still pending).
    std::optional<Outcome> withheld;
    StepVia via = StepVia::TimeService;
    bool interactive = false;  // the system may ask the user for consent
    // How the keeper corrects (frequency, slew or step), when it keeps the clock.
    std::optional<KeeperDecision> keeping{};
};

// Step or hold, and how, for an evaluated burst. By hand the clock is always stepped. The
// window's schedule steps on one server's word when only one is listed, within the limit when
// one is set, and while another time service runs; the unattended tool only on two or more
// agreeing servers, with no limit, and never against another time service. No run steps while
// an earlier step may still land, nor on an offset other than the one the user agreed to.
CorrectionDecision decideCorrection(const CorrectionInput& input);

}  // namespace korvel
