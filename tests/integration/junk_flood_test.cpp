// A flood of junk at the program's local port during a burst. Alone in its run: it loads
// the machine.

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
    std::printf("[flood] %s; %s", describe(outcome).c_str(), flood.output().c_str());
    expectSoundOutcome(outcome);
    if (outcome.evaluated()) {
        EXPECT_NEAR(outcome.offsetSec, kServerOffsetSec, kToleranceSec);
    }
    EXPECT_TRUE(rig->clock.corrections.empty());
}

}  // namespace korvel::lab
