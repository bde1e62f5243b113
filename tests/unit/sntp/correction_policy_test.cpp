#include "sntp/correction_policy.h"

#include <gtest/gtest.h>

#include <optional>

namespace korvel {
namespace {

// One row per kind of run and what it reads. By hand the clock is stepped whatever it is told;
// the window's schedule steps on one listed server's word, within its limit (the magnitude of
// the offset) and beside another time service; the unattended tool needs two agreeing servers,
// has no limit and never fights another time service. No run steps over a pending step, nor
// on an offset further than the tolerance from the one the user agreed to.
TEST(CorrectionPolicy, DecidesStepOrHoldForEveryKindOfRun) {
    using enum CorrectionRun;
    using enum CorrectionReason;
    using enum StepVia;
    constexpr std::optional<Outcome> kNone;
    struct Expected {
        bool step;
        CorrectionReason reason;
        std::optional<Outcome> withheld;
        StepVia via;
        bool interactive;
    };
    const struct {
        Expected expected;
        CorrectionInput input;
    } cases[] = {
        {{true, UserAsked, kNone, TimeService, true},
         {.run = ByHand,
          .offsetSec = 3e7,
          .serversListed = 4,
          .agreedServers = 0,
          .limitOn = true,
          .limitMs = 1,
          .otherTimeService = true}},
        {{true, UserAsked, kNone, ElevatedTool, true}, {.run = ByHand, .elevationNeeded = true}},
        {{true, UserAsked, kNone, TimeService, true},
         {.run = ByHand, .offsetSec = 2.25, .agreedOffsetSec = 1.25, .agreementToleranceSec = 1}},
        {{false, OffsetChanged, Outcome::WithheldOffsetChanged, TimeService, false},
         {.run = ByHand, .offsetSec = 2.25, .agreedOffsetSec = 1.249, .agreementToleranceSec = 1}},
        {{false, StepPending, kNone, TimeService, false}, {.run = ByHand, .stepPending = true}},
        {{true, BelowLimit, kNone, TimeService, false},
         {.run = Schedule, .offsetSec = 0.999, .limitOn = true, .limitMs = 1000}},
        {{false, OffsetTooLarge, Outcome::WithheldOffsetTooLarge, TimeService, false},
         {.run = Schedule, .offsetSec = -1.0, .limitOn = true, .limitMs = 1000}},
        {{true, NoLimit, kNone, TimeService, false},
         {.run = Schedule, .offsetSec = -30, .elevationNeeded = true, .otherTimeService = true}},
        {{false, NoSecondOpinion, Outcome::WithheldNoSecondOpinion, TimeService, false},
         {.run = Schedule, .serversListed = 2, .agreedServers = 1}},
        {{false, StepPending, kNone, TimeService, false}, {.run = Schedule, .stepPending = true}},
        {{true, ServersAgreed, kNone, TimeService, true},
         {.run = Unattended,
          .offsetSec = 3e7,
          .serversListed = 2,
          .agreedServers = 2,
          .limitOn = true,
          .limitMs = 1,
          .firstRunAfterBoot = true,
          .everyResponderAgrees = true}},
        {{true, ServersAgreed, kNone, Direct, true},
         {.run = Unattended, .serversListed = 3, .agreedServers = 2, .holdsRightToStep = true}},
        {{false, NoSecondOpinion, Outcome::WithheldNoSecondOpinion, TimeService, false},
         {.run = Unattended, .serversListed = 1, .agreedServers = 1}},
        {{false, NoSecondOpinion, Outcome::WithheldNoSecondOpinion, TimeService, false},
         {.run = Unattended, .serversListed = 4, .agreedServers = 1}},
        {{false, OtherTimeService, Outcome::WithheldOtherTimeService, TimeService, false},
         {.run = Unattended, .serversListed = 2, .agreedServers = 2, .otherTimeService = true}},
        {{false, NtsFailed, Outcome::NtsFailed, TimeService, false},
         {.run = Unattended, .serversListed = 3, .agreedServers = 2, .ntsServersNamed = 1}},
        {{true, ServersAgreed, kNone, TimeService, true},
         {.run = Unattended,
          .offsetSec = -3e7,
          .serversListed = 2,
          .agreedServers = 2,
          .ntsServersNamed = 1,
          .anyAuthenticated = true,
          .authenticatedAgrees = true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        const CorrectionDecision decision = decideCorrection(c.input);
        EXPECT_EQ(decision.step, c.expected.step);
        EXPECT_EQ(decision.reason, c.expected.reason);
        EXPECT_EQ(decision.withheld, c.expected.withheld);
        EXPECT_EQ(decision.via, c.expected.via);
        EXPECT_EQ(decision.interactive, c.expected.interactive);
    }
}

// An unattended run never steps more than 1000 s but in the first run after start-up on every
// answering server's word; the keeper, where the process may adjust the clock, sets the
// frequency an earlier boot found and slews up to half a second, stepping beyond.
TEST(CorrectionPolicy, KeepsTheClockUnattendedAndStepsFarOnlyAfterStartUp) {
    const struct {
        const char* what;
        double offset;
        bool firstAfterBoot, agree, right;
        bool step;
        std::optional<KeeperAction> keeping;
    } cases[] = {
        {"beyond 1000 s in a later run", 1000.5, false, true, true, false, std::nullopt},
        {"beyond 1000 s, first run, all agree", -4e8, true, true, true, true,
         KeeperAction::Stepped},
        {"beyond 1000 s, first run, one disagrees", 2e3, true, false, true, false, std::nullopt},
        {"beyond 1000 s without the right", -2e3, false, true, false, false, std::nullopt},
        {"above the step threshold", -0.6, false, true, true, true, KeeperAction::Stepped},
        {"below it", 0.45, false, true, true, true, KeeperAction::Slewed},
        {"nothing left to slew", 1e-7, false, true, true, true, KeeperAction::FrequencyOnly},
        {"without the right a step as before", 0.01, false, true, false, true, std::nullopt},
    };
    const KeeperState state{"b1", FrequencyEstimate{7.0, 0.5}, {}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const KeeperInput input{
            .offsetSec = c.offset, .spreadSec = 2e-5, .wallSec = 3.9e9, .mayAdjust = true};
        const CorrectionDecision d = decideCorrection({.run = CorrectionRun::Unattended,
                                                       .offsetSec = c.offset,
                                                       .serversListed = 3,
                                                       .agreedServers = 3,
                                                       .holdsRightToStep = c.right,
                                                       .firstRunAfterBoot = c.firstAfterBoot,
                                                       .everyResponderAgrees = c.agree,
                                                       .keeper = &state,
                                                       .keeping = input});
        EXPECT_EQ(d.step, c.step);
        EXPECT_EQ(d.withheld,
                  c.step ? std::nullopt : std::optional<Outcome>(Outcome::WithheldOffsetTooLarge));
        ASSERT_EQ(d.keeping.has_value(), c.keeping.has_value());
        if (d.keeping) {
            EXPECT_EQ(d.keeping->action, *c.keeping);
            EXPECT_DOUBLE_EQ(d.keeping->phaseSec, c.offset);
            EXPECT_EQ(d.keeping->frequencyPpm, 7.0);
            KeeperState after = state;
            recordKeeperRun(after, input, *d.keeping);
            EXPECT_EQ(after.runs.back().action, *c.keeping);
        }
    }
}

}  // namespace
}  // namespace korvel
