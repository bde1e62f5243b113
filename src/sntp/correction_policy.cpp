#include "sntp/correction_policy.h"

#include <cmath>

namespace korvel {

namespace {

CorrectionDecision hold(CorrectionReason reason, std::optional<Outcome> withheld) {
    return {false, reason, withheld, StepVia::TimeService, false, std::nullopt};
}

// The decision by who asks, before the offset agreed to and the keeper are heard.
CorrectionDecision decideForRun(const CorrectionInput& input) {
    switch (input.run) {
        case CorrectionRun::ByHand:
            return {
                true,         CorrectionReason::UserAsked,
                std::nullopt, input.elevationNeeded ? StepVia::ElevatedTool : StepVia::TimeService,
                true,         std::nullopt};
        case CorrectionRun::Schedule:
            if (input.serversListed >= 2 && input.agreedServers < 2) {
                return hold(CorrectionReason::NoSecondOpinion, Outcome::WithheldNoSecondOpinion);
            }
            if (input.limitOn && std::abs(input.offsetSec) >= input.limitMs / 1000.0) {
                return hold(CorrectionReason::OffsetTooLarge, Outcome::WithheldOffsetTooLarge);
            }
            return {true,
                    input.limitOn ? CorrectionReason::BelowLimit : CorrectionReason::NoLimit,
                    std::nullopt,
                    StepVia::TimeService,
                    false,
                    std::nullopt};
        case CorrectionRun::Unattended:
            break;
    }
    if (input.serversListed < 2 || input.agreedServers < 2) {
        return hold(CorrectionReason::NoSecondOpinion, Outcome::WithheldNoSecondOpinion);
    }
    if (input.otherTimeService) {
        return hold(CorrectionReason::OtherTimeService, Outcome::WithheldOtherTimeService);
    }
    // Someone on the path can block the servers that prove their answers and answer for the rest.
    if (input.ntsServersNamed > 0 && !input.anyAuthenticated) {
        return hold(CorrectionReason::NtsFailed, Outcome::NtsFailed);
    }
    // A board battery may have lost the date: only then, and on every answering server's word,
    // or on an authenticated server's.
    if (std::abs(input.offsetSec) > kLargestUnattendedStepSec &&
        !(input.firstRunAfterBoot && input.everyResponderAgrees) && !input.authenticatedAgrees) {
        return hold(CorrectionReason::OffsetTooLarge, Outcome::WithheldOffsetTooLarge);
    }
    return {true,         CorrectionReason::ServersAgreed,
            std::nullopt, input.holdsRightToStep ? StepVia::Direct : StepVia::TimeService,
            true,         std::nullopt};
}

}  // namespace

CorrectionDecision decideCorrection(const CorrectionInput& input) {
    if (input.stepPending) {
        return hold(CorrectionReason::StepPending, std::nullopt);
    }
    CorrectionDecision decision = decideForRun(input);
    if (!decision.step) {
        return decision;
    }
    if (input.agreedOffsetSec &&
        std::abs(input.offsetSec - *input.agreedOffsetSec) > input.agreementToleranceSec) {
        return hold(CorrectionReason::OffsetChanged, Outcome::WithheldOffsetChanged);
    }
    if (input.run == CorrectionRun::Unattended && input.keeper != nullptr &&
        input.holdsRightToStep) {
        decision.keeping = decideKeeping(*input.keeper, input.keeping);
    }
    return decision;
}

}  // namespace korvel
