#include "app/keeper_run.h"

#include <gtest/gtest.h>

#include <string>

#include "common/day_date.h"
#include "sntp/correction_policy.h"
#include "support/fake_keeping.h"
#include "support/virtual_time.h"

namespace korvel {
namespace {

using test::utcTime;

// Twelve replies from each of three servers, the server offsetSec ahead, centred one second
// before now.
struct Burst {
    ReplyRecords records{};
    BurstResult result;
};
Burst burstAt(test::VirtualTime& time, double offsetSec, double secondServerOffsetSec) {
    Burst b;
    const double now = ntpSecondsOfUnixNs(time.readPaired().utcNs);
    for (int i = 1; i <= 24; ++i) {
        ReplyRecord& r = b.records[static_cast<std::size_t>(i)];
        r.server = static_cast<std::int16_t>(i % 3);
        r.t1 = now - 2.2 + 0.1 * i;
        r.t4 = r.t1 + 0.001 + 1e-5 * (i % 5);
        r.t2 = (r.t1 + r.t4) / 2 + (r.server == 1 ? secondServerOffsetSec : offsetSec);
        r.t3 = r.t2;
    }
    b.result = evaluateBurst(b.records, 24, 3, 1e-6).result;
    return b;
}

TEST(KeeperRun, SlewsStepsOrHoldsAndSaysWhatItDidInTheRunsLine) {
    const std::string laterRun =
        "korvel-keeper 1\nboot b1\nrun 3974001200 5000 0.01 2e-05 1 "
        "slewed 0.01 0\n";
    const struct {
        const char* what;
        std::optional<std::string> state;
        std::string boot;
        double offset, secondServer;
        std::string refusal;
        Outcome outcome;
        std::string line;  // the start of summary()
        std::size_t steps;
    } cases[] = {
        {"first run, a small offset", std::nullopt, "b1", 0.02, 0.02, "", Outcome::Stepped,
         "action slewed, frequency +0.000 ppm, no state yet, started afresh", 0},
        {"the kernel refuses", std::nullopt, "b1", 0.02, 0.02, "no right", Outcome::Stepped,
         "action stepped, frequency +0.000 ppm, no state yet, started afresh, adjustment "
         "refused: no right",
         1},
        {"a garbled state", std::string("korvel-keeper 1\nboot\n"), "b1", 0.02, 0.02, "",
         Outcome::Stepped, "action slewed, frequency +0.000 ppm, no boot, started afresh", 0},
        {"ten years ahead, first run after boot, all agree", laterRun, "b2", 3.2e8, 3.2e8, "",
         Outcome::Stepped, "action stepped", 1},
        {"ten years ahead in a later run", laterRun, "b1", 3.2e8, 3.2e8, "",
         Outcome::WithheldOffsetTooLarge, "action held", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::VirtualTime time{utcTime(2026, 1, 20, 10, 0, 0), 0};
        time.rightToStep = true;
        time.pass(6'000'000);
        test::FakeKeeperStore store;
        store.state = c.state;
        store.boot = c.boot;
        test::FakeClockAdjustment adjustment;
        adjustment.refusal = c.refusal;
        KeeperRun run(store, adjustment, time);
        run.begin();
        const Burst b = burstAt(time, c.offset, c.secondServer);
        const KeeperInput input = run.measurement(b.result, b.records);
        // The policy's part: whether to correct at all, and how.
        const CorrectionDecision decision =
            decideCorrection({.run = CorrectionRun::Unattended,
                              .offsetSec = b.result.offsetSec,
                              .serversListed = 3,
                              .agreedServers = b.result.agreedServers,
                              .holdsRightToStep = true,
                              .firstRunAfterBoot = run.firstRunAfterBoot(),
                              .everyResponderAgrees = input.everyResponderAgrees,
                              .keeper = &run.state(),
                              .keeping = input});
        OutcomeRecord outcome{decision.withheld.value_or(Outcome::Stepped), {}, {}};
        if (decision.keeping) {
            outcome = run.correct(input, *decision.keeping, time);
        } else {
            run.recordHeld(input);
        }
        EXPECT_EQ(outcome.outcome, c.outcome);
        EXPECT_EQ(run.summary().rfind(c.line, 0), 0u) << run.summary();
        EXPECT_EQ(time.clockSteps().size(), c.steps);
        // Every run is remembered, and users may read what it did.
        ASSERT_TRUE(store.state);
        EXPECT_TRUE(parseKeeperState(*store.state, 4e9).problem.empty()) << *store.state;
        EXPECT_NE(store.status.find("korvel-keeper-status 1 "), std::string::npos);
    }
}

// Removal resets only what the keeper did in this boot, and the next run starts its offsets
// afresh with the frequency it found.
TEST(KeeperRun, ReleasesTheClockOnlyWhereItAdjustedItInThisBoot) {
    const std::string state =
        "korvel-keeper 1\nboot b1\nfrequency 12 0.01\nrun 3974001200 5000 "
        "0.01 2e-05 1 slewed 0.01 12\n";
    const struct {
        const char* what;
        std::optional<std::string> state;
        std::string boot, refusal, said;
        bool reset;
    } cases[] = {
        {"adjusted in this boot", state, "b1", "", "frequency and slew reset", true},
        {"an earlier boot's state", state, "b2", "", "the clock was not adjusted in this boot",
         false},
        {"no state", std::nullopt, "b1", "", "the clock was not adjusted in this boot", false},
        {"refused", state, "b1", "no right", "not reset: no right", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::FakeKeeperStore store;
        store.state = c.state;
        store.boot = c.boot;
        test::FakeClockAdjustment adjustment;
        adjustment.refusal = c.refusal;
        EXPECT_EQ(releaseClock(store, adjustment), c.said);
        EXPECT_EQ(adjustment.calls.size(), c.reset ? 1u : 0u);
        EXPECT_EQ(store.writes, c.reset && c.refusal.empty() ? 1 : 0);
        if (store.writes == 1) {
            const LoadedKeeperState after = parseKeeperState(*store.state, 4e9);
            EXPECT_TRUE(after.state.runs.empty());
            EXPECT_DOUBLE_EQ(after.state.frequency->ppm, 12.0);
        }
    }
}

}  // namespace
}  // namespace korvel
