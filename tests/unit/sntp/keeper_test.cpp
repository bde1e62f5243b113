#include "sntp/keeper.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "support/keeping_rig.h"

namespace korvel {
namespace {

constexpr double kNow = 1.8e9;

KeptRun run(double wallSec, double steadySec, KeeperAction action, double correctedSec) {
    return {wallSec, steadySec, {wallSec, -0.25, 3e-5, true, correctedSec, -12.5}, action};
}

KeeperState twoRuns() {
    return {"b1",
            FrequencyEstimate{-12.5, 0.125},
            {run(kNow - 3600, 100, KeeperAction::Slewed, -0.25),
             run(kNow - 1800, 1900, KeeperAction::Stepped, 1.5)}};
}

TEST(KeeperState, ReadsBackWhatItWroteAndStartsAfreshOnAnythingElse) {
    const std::string text = keeperStateText(twoRuns());
    const LoadedKeeperState back = parseKeeperState(text, kNow);
    ASSERT_EQ(back.problem, "");
    EXPECT_EQ(keeperStateText(back.state), text);

    const std::string head = "korvel-keeper 1\nboot b1\n";
    const struct {
        const char* what;
        std::string text;
        std::string problem;
    } bad[] = {
        {"empty", "", "unknown state format"},
        {"a later version", "korvel-keeper 2\nboot b1\n", "unknown state format"},
        {"no boot", "korvel-keeper 1\n", "no boot"},
        {"a run from the future", head + "run 1.9e9 0 0 0 1 slewed 0 0\n",
         "a run recorded in the future"},
        {"an unknown action", head + "run 1e9 0 0 0 1 jumped 0 0\n", "garbled run"},
        {"not a number", head + "run 1e9 0 nan 0 1 slewed 0 0\n", "garbled run"},
        {"a frequency beyond the kernel's", head + "frequency 600 1\n", "garbled frequency"},
        {"a field too many", head + "run 1e9 0 0 0 1 slewed 0 0 7\n", "garbled line"},
        {"an unknown line", head + "phase 3\n", "garbled line"},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.what);
        const LoadedKeeperState loaded = parseKeeperState(c.text, kNow);
        EXPECT_EQ(loaded.problem, c.problem);
        EXPECT_TRUE(loaded.state.runs.empty());
        EXPECT_FALSE(loaded.state.frequency);
    }
}

TEST(KeeperState, KeepsOnlyTheFrequencyAcrossABootOrSomeoneElsesStep) {
    // The last run stepped by 1.5 s itself: wall minus steady grew by that much.
    const double wall = kNow, steady = 1900 + 1800;
    const struct {
        const char* what;
        std::string boot;
        double wallSec;
        bool steadyFollows;
        std::size_t runsKept;
        std::string note;
    } cases[] = {
        {"the same boot, only its own step", "b1", wall + 1.5, true, 2, ""},
        {"another boot", "b2", wall + 1.5, true, 0, "an earlier boot's runs dropped"},
        {"stepped by someone else", "b1", wall + 1.5 + 0.5, true, 0,
         "the clock was stepped by 0.500 s since the last run"},
        // -12.5 ppm over the 1800 s since the last run, which Windows' counter does not follow.
        {"a counter apart by the keeper's frequency", "b1", wall + 1.5 - 0.0225, false, 2, ""},
        {"a monotonic clock apart by as much", "b1", wall + 1.5 - 0.0225, true, 0,
         "the clock was stepped by -0.023 s since the last run"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KeeperState state = twoRuns();
        std::string note;
        continueKeeperState(state, c.boot, c.wallSec, steady, c.steadyFollows, note);
        EXPECT_EQ(state.runs.size(), c.runsKept);
        EXPECT_EQ(note, c.note);
        EXPECT_EQ(state.bootId, c.boot);
        ASSERT_TRUE(state.frequency);
        EXPECT_DOUBLE_EQ(state.frequency->ppm, -12.5);
        EXPECT_EQ(keepingRequests(state, c.wallSec), c.runsKept > 0 ? 12 : 30);
    }
}

// A short burst only on a frequency known to 0.2 ppm and a good run of this boot within 40 min
// (the runs kept above ask one).
TEST(Keeper, AsksAShortBurstOnlyWhereTheModelForetellsTheClock) {
    // What, the frequency's uncertainty (ppm), since the last run (s), it agreed, it acted.
    const std::tuple<const char*, double, double, bool, KeeperAction> cases[] = {
        {"frequency known too roughly", 0.25, 2000, true, KeeperAction::Slewed},
        {"the last run's servers disagreed", 0.1, 2000, false, KeeperAction::Slewed},
        {"the last run held", 0.1, 2000, true, KeeperAction::None},
        {"a run missed since", 0.1, 2500, true, KeeperAction::Slewed},
    };
    for (const auto& [what, uncertaintyPpm, sinceLastSec, trusted, action] : cases) {
        SCOPED_TRACE(what);
        KeeperState state = twoRuns();
        state.frequency->uncertaintyPpm = uncertaintyPpm;
        state.runs.back().sample.trusted = trusted;
        state.runs.back().action = action;
        EXPECT_EQ(keepingRequests(state, kNow - 1800 + sinceLastSec), 30);
    }
}

// Short bursts once settled: on both links about 24 requests an hour against 45 of full ones.
TEST(Keeper, KeepsASimulatedDayWithinAFractionOfAMillisecondWithoutStepping) {
    const struct {
        const char* what;
        test::DayOptions options;
        double rmsBelowSec, maxBelowSec;
    } cases[] = {
        {"LAN, 100 ppm", {.driftPpm = 100, .path = test::kLanPath, .seed = 7}, 1e-4, 5e-4},
        {"home link, -100 ppm", {.driftPpm = -100, .path = test::kHomePath, .seed = 8}, 1e-3, 3e-3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const test::DayFigures f = test::simulateDay(c.options);
        EXPECT_LT(f.rmsErrorSec, c.rmsBelowSec);
        EXPECT_LT(f.maxErrorSec, c.maxBelowSec);
        EXPECT_EQ(f.steps, 0);
        EXPECT_NEAR(f.requestsPerHour, 24, 1);
    }
}

}  // namespace
}  // namespace korvel
