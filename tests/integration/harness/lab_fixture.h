#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "harness/net_lab.h"
#include "support/temp_folder.h"

namespace korvel::lab {

inline constexpr int kClientPort = 1231;
inline constexpr double kServerOffsetSec = 3.25;
// Both ends read the same clock; what is left is millisecond resolution and the scheduling
// latency of a loaded machine running cases side by side (under 1 ms when run alone).
inline constexpr double kToleranceSec = 0.010;

// A test in its own pair of network namespaces, its tools in the server one and the program in
// the client one, with folders of its own. Needs root; fails, never skips, without it.
class LabTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A test tool in the server namespace, waited for until it is ready.
    void startTool(const std::string& path, std::vector<std::string> args);
    // The responder serving the client directly, or behind the impairment relay (seed 1).
    void startResponder(std::vector<std::string> args);
    void startRelayedResponder(std::vector<std::string> args, const std::string& condition);
    // Runs a command in the client namespace to its end (20 s at most).
    int runInClient(std::vector<std::string> argv, std::string& output);
    // The command, with the right to set the clock dropped and checked gone, its standard
    // error merged into its standard output.
    static std::vector<std::string> withoutClockRight(std::vector<std::string> argv);

    // A path in the test's own folder.
    std::string inFolder(const std::string& name) const { return folder->path() / name; }

    std::unique_ptr<NamespacePair> net;
    std::unique_ptr<test::TempFolder> folder;
    std::vector<std::unique_ptr<ChildProcess>> tools;
};

std::string configLine(const std::string& address, int port);
std::vector<std::string> fileLines(const std::string& path);
// The offset korvel-cli printed ("offset 3.250000 s"); NaN when it printed none.
double printedOffset(const std::string& output);

}  // namespace korvel::lab
