#include "sntp/correction_policy.h"

#include <gtest/gtest.h>

#include <optional>

namespace korvel {
namespace {

// One row per kind of run and what it reads. By hand the clock is stepped whatever it is told;
// the window's schedule steps on one listed server's word, within its limit (the magnitude of
// the offset) and beside another time service; the unattended tool needs two agreeing servers,
// has no limit and never fights another time service. No run steps over a pending step.
TEST(CorrectionPolicy, DecidesStepOrHoldForEveryKindOfRun) {
    using enum CorrectionRun;
    using CorrectionReason::NoLimit, CorrectionReason::BelowLimit, CorrectionReason::StepPending,
        CorrectionReason::NoSecondOpinion, CorrectionReason::OffsetTooLarge,
        CorrectionReason::OtherTimeService, CorrectionReason::ServersAgreed,
        CorrectionReason::UserAsked;
    constexpr std::optional<Outcome> kNone;
    const struct {
        CorrectionInput input;
        bool step;
        CorrectionReason reason;
        std::optional<Outcome> withheld;
        StepVia via;
        bool interactive;
    } cases[] = {
        {{.run = ByHand,
          .offsetSec = 3e7,
          .serversListed = 4,
          .agreedServers = 0,
          .limitOn = true,
          .limitMs = 1,
          .otherTimeService = true},
         true,
         UserAsked,
         kNone,
         StepVia::TimeService,
         true},
        {{.run = ByHand, .elevationNeeded = true},
         true,
         UserAsked,
         kNone,
         StepVia::ElevatedTool,
         true},
        {{.run = ByHand, .stepPending = true},
         false,
         StepPending,
         kNone,
         StepVia::TimeService,
         false},
        {{.run = Schedule, .offsetSec = 0.999, .limitOn = true, .limitMs = 1000},
         true,
         BelowLimit,
         kNone,
         StepVia::TimeService,
         false},
        {{.run = Schedule, .offsetSec = -1.0, .limitOn = true, .limitMs = 1000},
         false,
         OffsetTooLarge,
         Outcome::WithheldOffsetTooLarge,
         StepVia::TimeService,
         false},
        {{.run = Schedule, .offsetSec = -30, .elevationNeeded = true, .otherTimeService = true},
         true,
         NoLimit,
         kNone,
         StepVia::TimeService,
         false},
        {{.run = Schedule, .serversListed = 2, .agreedServers = 1},
         false,
         NoSecondOpinion,
         Outcome::WithheldNoSecondOpinion,
         StepVia::TimeService,
         false},
        {{.run = Schedule, .stepPending = true},
         false,
         StepPending,
         kNone,
         StepVia::TimeService,
         false},
        {{.run = Unattended,
          .offsetSec = 3e7,
          .serversListed = 2,
          .agreedServers = 2,
          .limitOn = true,
          .limitMs = 1},
         true,
         ServersAgreed,
         kNone,
         StepVia::TimeService,
         true},
        {{.run = Unattended, .serversListed = 3, .agreedServers = 2, .holdsRightToStep = true},
         true,
         ServersAgreed,
         kNone,
         StepVia::Direct,
         true},
        {{.run = Unattended, .serversListed = 1, .agreedServers = 1},
         false,
         NoSecondOpinion,
         Outcome::WithheldNoSecondOpinion,
         StepVia::TimeService,
         false},
        {{.run = Unattended, .serversListed = 4, .agreedServers = 1},
         false,
         NoSecondOpinion,
         Outcome::WithheldNoSecondOpinion,
         StepVia::TimeService,
         false},
        {{.run = Unattended, .serversListed = 2, .agreedServers = 2, .otherTimeService = true},
         false,
         OtherTimeService,
         Outcome::WithheldOtherTimeService,
         StepVia::TimeService,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        const CorrectionDecision decision = decideCorrection(c.input);
        EXPECT_EQ(decision.step, c.step);
        EXPECT_EQ(decision.reason, c.reason);
        EXPECT_EQ(decision.withheld, c.withheld);
        EXPECT_EQ(decision.via, c.via);
        EXPECT_EQ(decision.interactive, c.interactive);
    }
}

}  // namespace
}  // namespace korvel
