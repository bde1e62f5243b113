// The program's real socket, timers and clock against hostile servers and networks, each case
// in network namespaces of its own. The clock is only ever read: a correction is recorded.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
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
    FewOrNone,          // next to nothing comes back
    NoServer,           // nothing usable came back
    Refused,            // kiss-o'-death only: nothing more asked, the congestion message
};

struct NetworkCase {
    const char* name;
    std::vector<std::string> responder;
    const char* condition;  // impairment relay condition; nullptr: the server answers directly
    Expect expect;
    double toleranceSec = kToleranceSec;
    double biasSec = 0.0;  // what SNTP cannot see: half the difference of the one-way delays
};

void PrintTo(const NetworkCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<std::string> decoy(std::vector<std::string> how) {
    how.insert(how.begin(), "--decoy");
    return how;
}

// What the socket and the network do; what a datagram holds is the reply handler's unit test,
// what the socket lets through from where, its own (qt_udp_socket_test.cpp).
const NetworkCase kCases[] = {
    // Datagrams of the wrong size, each carrying a forged time, ahead of every genuine reply.
    {"Size0BeforeEachReply", decoy({"--decoy-size", "0"}), nullptr, Expect::Offset},
    {"Size47BeforeEachReply", decoy({"--decoy-size", "47"}), nullptr, Expect::Offset},
    {"Size49BeforeEachReply", decoy({"--decoy-size", "49"}), nullptr, Expect::Offset},
    {"Size68BeforeEachReply", decoy({"--decoy-size", "68"}), nullptr, Expect::Offset},
    {"Size1500BeforeEachReply", decoy({"--decoy-size", "1500"}), nullptr, Expect::Offset},
    {"OnlySize47Replies", {"--size", "47"}, nullptr, Expect::NoServer},
    {"OnlySize49Replies", {"--size", "49"}, nullptr, Expect::NoServer},
    // A kiss-o'-death ends the burst with its own outcome.
    {"KissOfDeathRate", {"--kod", "RATE"}, nullptr, Expect::Refused},
    {"KissOfDeathDeny", {"--kod", "DENY"}, nullptr, Expect::Refused},
    // Impaired paths, seeded so every run sees the same packets.
    {"NoLoss", {}, "loss0", Expect::Offset},
    {"HalfLost", {}, "loss50", Expect::OffsetOrCongested},
    {"EightyPercentLost", {}, "loss80", Expect::OffsetOrCongested},
    {"NinetyFivePercentLost", {}, "loss95", Expect::FewOrNone},
    {"AllLost", {}, "loss100", Expect::NoServer},
    // A burst cannot tell delay on the way out from delay on the way back: a reply whose two
    // legs differ by d is off by d / 2. These bounds are that, for the worst reply.
    {"Jitter200ms", {}, "jitter200", Expect::Offset, 0.050},
    {"Asymmetric10msUp40msDown", {}, "asym10-40", Expect::Offset, kToleranceSec, -0.015},
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
    expectSoundOutcome(outcome);
    EXPECT_TRUE(rig->clock.corrections.empty()) << "a manual burst set the clock";

    const double expected = kServerOffsetSec + c.biasSec;
    switch (c.expect) {
        case Expect::Offset:
            ASSERT_TRUE(outcome.evaluated()) << describe(outcome);
            EXPECT_NEAR(outcome.offsetSec, expected, c.toleranceSec);
            break;
        case Expect::OffsetOrCongested:
            if (outcome.evaluated()) {
                EXPECT_NEAR(outcome.offsetSec, expected, c.toleranceSec);
            } else {
                EXPECT_EQ(outcome.outcome, Outcome::TooFewReplies);
            }
            break;
        case Expect::FewOrNone:
            EXPECT_TRUE(outcome.outcome == Outcome::TooFewReplies ||
                        outcome.outcome == Outcome::NoReply)
                << describe(outcome);
            break;
        case Expect::NoServer:
            EXPECT_EQ(outcome.outcome, Outcome::NoReply) << describe(outcome);
            break;
        case Expect::Refused:
            EXPECT_EQ(outcome.outcome, Outcome::RefusedByServer) << describe(outcome);
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

// Taken by another socket: the window says so and its bursts reach nothing; korvel-cli exits 5.
TEST_F(NetworkLab, LocalPortAlreadyInUse) {
    startResponder({"--offset", std::to_string(kServerOffsetSec)});
    const int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kClientPort);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    bootProgram();
    EXPECT_EQ(rig->messageBox.shown, std::vector<std::string>{"本机端口 1231 无法使用"});
    const BurstSeen outcome = rig->measure();
    EXPECT_EQ(outcome.outcome, Outcome::NoReply) << describe(outcome);

    std::string output;
    EXPECT_EQ(runInClient({KORVEL_CLI, "measure", NamespacePair::kServerAddress, "--port", "1231"},
                          output),
              5)
        << output;
    ::close(holder);
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

// The server at an IPv6 address, from the window; then korvel-cli by names: one with only
// an IPv6 address, one behind a name server that stalls 3 s, and one that does not exist.
TEST_F(NetworkLab, Ipv6AndSlowOrFailingNameLookUps) {
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
    std::ofstream(net->clientEtc() + "/hosts")
        << NamespacePair::kServerIpv6Address << " six.test\n";
    std::ofstream(net->clientEtc() + "/resolv.conf")
        << "nameserver " << NamespacePair::kOtherServerAddress << "\n";
    const struct {
        const char* server;
        int status;
        const char* printed;
    } cases[] = {
        {"six.test", 0, "replies used 20 of 25"},
        {"slow.test", 0, "replies used 20 of 25"},
        {"none.test", 1, "服务器名称无法解析: none.test\n无法连接服务器"},
    };
    for (const auto& c : cases) {
        std::string output;
        const std::string command = std::string(KORVEL_CLI) + " measure " + c.server + " 2>&1";
        EXPECT_EQ(runInClient({"sh", "-c", command}, output), c.status) << output;
        EXPECT_NE(output.find(c.printed), std::string::npos) << output;
    }
}

}  // namespace korvel::lab
