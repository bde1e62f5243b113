#include "app/keeper_run.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_keeping.h"

namespace korvel {
namespace {

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
