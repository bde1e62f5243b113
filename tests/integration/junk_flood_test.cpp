// A flood of junk at the program's local port during a burst. Alone in its run: it loads
// the machine, and what it measures is the program's own latency.

#include <gtest/gtest.h>

#include <cstdio>

#include "harness/lab_fixture.h"

namespace korvel::lab {

using NetworkLab = LabTest;

TEST_F(NetworkLab, BurstCompletesUnderFloodOfJunk) {
    startResponder({"--offset", std::to_string(kServerOffsetSec)});
    bootProgram();
    // 100 000 datagrams over five seconds: through the burst and the clock display after it.
    ChildProcess& flood = startTool(
        KORVEL_TEST_FLOOD,
        {"--target", std::string(NamespacePair::kClientAddress) + ":" + std::to_string(kClientPort),
         "--from", std::string(NamespacePair::kOtherServerAddress) + ":123", "--count", "100000",
         "--duration-ms", "5000"});
    const BurstSeen outcome = rig->measure();
    while (flood.running()) {
        rig->pump(100);
    }
    rig->pump(500);
    const auto& late = rig->timers.lateness;
    std::printf("[flood] %s; %s", describe(outcome).c_str(), flood.output().c_str());
    std::printf(
        "[flood] worst tick delay: sender (Timer1, 100 ms) %.1f ms over %d ticks, "
        "clock display (Timer5, 200 ms) %.1f ms over %d ticks\n",
        late[0].worstMs, late[0].ticks, late[3].worstMs, late[3].ticks);
    RecordProperty("worst_clock_display_delay_ms", std::to_string(late[3].worstMs));
    expectSoundOutcome(outcome);
    if (outcome.evaluated) {
        EXPECT_NEAR(outcome.offsetSec, kServerOffsetSec, kToleranceSec);
    }
    EXPECT_TRUE(rig->clock.corrections.empty());
}

}  // namespace korvel::lab
