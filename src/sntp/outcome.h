#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvel {

// Every way a burst or a correction ends.
enum class Outcome : std::uint8_t {
    // A burst.
    Evaluated,          // a burst result
    RejectedInvalid,    // too many replies flagged the server's time invalid
    NoReply,            // no reply at all (no route to the server included)
    TooFewReplies,      // fewer than the evaluation needs
    NameNotResolved,    // the server's name could not be looked up
    LocalPortUnusable,  // the local port cannot be bound
    NoScratchFolder,    // no private folder for the scratch file
    RefusedByServer,    // the servers answered with kiss-o'-death only
    ServersDisagree,    // no group of servers agreed on the time
    NtsFailed,          // every server left, an NTS server's key exchange or cookies failing
    // A correction.
    Stepped,
    StepRefused,               // the system refused the step; the reason says why
    WithheldNoSecondOpinion,   // not stepped unattended on one server's word
    WithheldOtherTimeService,  // another time service keeps the clock
    WithheldOffsetTooLarge,    // too large to step unasked
    ConsentRefused,            // the user did not give the consent the step needed
    StepUnknown,               // the answer was lost; the clock may have been stepped
    WithheldOffsetChanged,     // measured too far from the offset the user agreed to
};

// An outcome as recorded: what ended, why in the user's words (a refusal's reason, the cause
// of no reply), and a notice that goes with it (another time service that may undo a step).
struct OutcomeRecord {
    Outcome outcome = Outcome::Evaluated;
    std::string cause;
    std::string notice;
};

inline bool isCorrectionOutcome(Outcome outcome) {
    return outcome >= Outcome::Stepped;
}

// korvel-cli's exit status for each outcome; the first eight are the tool's oldest and never
// change.
int exitStatus(Outcome outcome);
// The outcome a korvel-cli exit status stands for; nullopt for one the tool never gives for an
// outcome (bad arguments). Status 1 is read as no reply.
std::optional<Outcome> outcomeOfExitStatus(int status);

}  // namespace korvel
