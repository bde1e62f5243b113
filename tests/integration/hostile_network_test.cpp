// The program's real socket, timers and clock against hostile servers and networks, each case
// in network namespaces of its own. The clock is only ever read: a correction is recorded.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "harness/lab_fixture.h"

namespace korvel::lab {

namespace {

enum class Expect {
    Offset,             // the server's offset, within the tolerance
    OffsetOrCongested,  // heavy loss: an offset from what came, or too few replies
    NoServer,           // nothing usable came back
};

struct NetworkCase {
    const char* name;
    std::vector<std::string> responder;
    const char* condition;  // impairment relay condition; nullptr: the server answers directly
    Expect expect;
    double toleranceSec = kToleranceSec;
};

void PrintTo(const NetworkCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<std::string> decoy(std::vector<std::string> how) {
    how.insert(how.begin(), "--decoy");
    return how;
}

// What the socket and the network do; what a datagram holds (its size, its fields, a
// kiss-o'-death) is the reply handler's unit test and the server set suite's, what the socket
// lets through from where, its own (qt_udp_socket_test.cpp).
const NetworkCase kCases[] = {
    // Datagrams the socket must read whole or cut, each carrying a forged time, ahead of every
    // genuine reply; then a server that sends only one byte too many.
    {"Size0BeforeEachReply", decoy({"--decoy-size", "0"}), nullptr, Expect::Offset},
    {"Size1500BeforeEachReply", decoy({"--decoy-size", "1500"}), nullptr, Expect::Offset},
    {"OnlySize49Replies", {"--size", "49"}, nullptr, Expect::NoServer},
    // Impaired paths, seeded so every run sees the same packets. (A path's asymmetry is the
    // reply handler's unit row; a path that loses every packet is the port-unreachable case
    // below.)
    {"EightyPercentLost", {}, "loss80", Expect::OffsetOrCongested},
    {"ThirtyPercentDuplicated", {}, "dup30", Expect::Offset},
    {"Reordered", {}, "reorder", Expect::Offset, 0.060},
};

class HostileNetwork : public LabTest, public ::testing::WithParamInterface<NetworkCase> {};

}  // namespace

TEST_P(HostileNetwork, EndsInTheRightOffsetOrAnHonestMessage) {
    const NetworkCase& c = GetParam();
    std::vector<std::string> args = c.responder;
    args.insert(args.end(), {"--offset", std::to_string(kServerOffsetSec)});
    if (c.condition != nullptr) {
        startRelayedResponder(args, c.condition);
    } else {
        startResponder(args);
    }
    bootProgram();
    ASSERT_TRUE(rig->messageBox.shown.empty()) << rig->messageBox.shown.front();

    const BurstSeen outcome = rig->measure();
    std::printf("[%s] %s\n", c.name, describe(outcome).c_str());
    ASSERT_TRUE(outcome.ended) << "the burst never ended";
    EXPECT_TRUE(rig->clock.corrections.empty()) << "a manual burst set the clock";

    switch (c.expect) {
        case Expect::Offset:
            ASSERT_TRUE(outcome.evaluated()) << describe(outcome);
            EXPECT_NEAR(outcome.offsetSec, kServerOffsetSec, c.toleranceSec);
            break;
        case Expect::OffsetOrCongested:
            if (outcome.evaluated()) {
                EXPECT_NEAR(outcome.offsetSec, kServerOffsetSec, c.toleranceSec);
            } else {
                EXPECT_EQ(outcome.outcome, Outcome::TooFewReplies);
            }
            break;
        case Expect::NoServer:
            EXPECT_EQ(outcome.outcome, Outcome::NoReply) << describe(outcome);
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileNetwork, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<NetworkCase>& entry) {
                             return std::string(entry.param.name);
                         });

using NetworkLab = LabTest;

TEST_F(NetworkLab, SocketStillWorksAfterPortUnreachable) {
    bootProgram();
    // Nothing listens yet: the server namespace answers each request with ICMP port
    // unreachable.
    const BurstSeen refused = rig->measure();
    EXPECT_EQ(refused.outcome, Outcome::NoReply) << describe(refused);

    startResponder({"--offset", std::to_string(kServerOffsetSec)});
    const BurstSeen next = rig->measure();
    ASSERT_TRUE(next.evaluated()) << describe(next);
    EXPECT_NEAR(next.offsetSec, kServerOffsetSec, kToleranceSec);
}

// Qt takes the locale of the environment: numbers in korvel-cli's JSON must keep their point
// where the locale writes a decimal comma.
TEST_F(NetworkLab, CliJsonKeepsItsDecimalPointsWhateverTheLocale) {
    std::string output;
    ASSERT_TRUE(shell("localedef -i de_DE -f UTF-8 " + inFolder("de_DE.UTF-8"), &output)) << output;
    startResponder({"--offset", std::to_string(kServerOffsetSec)});
    EXPECT_EQ(runInClient({"env", "LOCPATH=" + folder->path().string(), "LC_ALL=de_DE.UTF-8",
                           KORVEL_CLI, "measure", NamespacePair::kServerAddress, "--json"},
                          output),
              0)
        << output;
    const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(output)).object();
    EXPECT_NEAR(report["offset"].toDouble(), kServerOffsetSec, kToleranceSec) << output;
}

// The server at an IPv6 address, from the window; then korvel-cli by a name behind a name
// server that stalls 3 s. (Names from the hosts file and names not found are the socket's own
// suite.)
TEST_F(NetworkLab, Ipv6AndASlowNameLookUp) {
    startTool(KORVEL_TEST_RESPONDER,
              {"--bind", "::", "--offset", std::to_string(kServerOffsetSec)});
    startTool(KORVEL_TEST_DNS, {"--bind", NamespacePair::kOtherServerAddress, "--name", "slow.test",
                                "--a", NamespacePair::kServerAddress, "--delay", "3000"});
    bootProgram(NamespacePair::kServerIpv6Address);
    const BurstSeen outcome = rig->measure();
    std::printf("[IPv6] %s\n", describe(outcome).c_str());
    ASSERT_TRUE(outcome.evaluated()) << describe(outcome);
    EXPECT_NEAR(outcome.offsetSec, kServerOffsetSec, kToleranceSec);

    std::filesystem::create_directories(net->clientEtc());
    std::ofstream(net->clientEtc() + "/resolv.conf")
        << "nameserver " << NamespacePair::kOtherServerAddress << "\n";
    std::string output;
    EXPECT_EQ(runInClient({KORVEL_CLI, "measure", "slow.test"}, output), 0) << output;
    EXPECT_NE(output.find("replies used 20 of 25"), std::string::npos) << output;
}

}  // namespace korvel::lab
