// The program's real socket, timers and clock against hostile servers and networks, each case
// in network namespaces of its own. The clock is only ever read: a correction is recorded.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "harness/lab_fixture.h"
#include "settings/settings_panel.h"

namespace korvel::lab {

namespace {

// 2036-02-07 06:28:16 UTC, where the 32-bit NTP seconds roll over, in Unix seconds.
constexpr double kEraBoundaryUnix = 4294967296.0 - 2208988800.0;

double realUnixNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

enum class Expect {
    Offset,             // the server's offset, within the tolerance
    OffsetOrCongested,  // heavy loss: an offset from what came, or the congestion message
    FewOrNone,          // next to nothing comes back
    NoServer,           // nothing usable came back
    TimeInvalid,        // the server flags its time invalid
};

struct NetworkCase {
    const char* name;
    std::vector<std::string> responder;
    const char* condition;  // impairment relay condition; nullptr: the server answers directly
    Expect expect;
    double toleranceSec = kToleranceSec;
    double biasSec = 0.0;  // what SNTP cannot see: half the difference of the one-way delays
    std::optional<double> eraDeltaSec =
        std::nullopt;  // server clock this far from the 2036 era boundary
    int settleMs = 0;  // the outcome must stand this long after the burst
};

void PrintTo(const NetworkCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<std::string> decoy(std::vector<std::string> how) {
    how.insert(how.begin(), "--decoy");
    return how;
}

// A responder script that shapes replies first to last (1-based) of each burst.
std::vector<std::string> onReplies(int first, int last, const std::string& setting) {
    std::string script;
    for (int i = first; i <= last; ++i) {
        script += (i > first ? "," : "") + std::to_string(i) + ":" + setting;
    }
    return {"--script", script};
}

const NetworkCase kCases[] = {
    // Datagrams of the wrong size, each carrying a forged time, ahead of every genuine reply.
    {"Size0BeforeEachReply", decoy({"--decoy-size", "0"}), nullptr, Expect::Offset},
    {"Size47BeforeEachReply", decoy({"--decoy-size", "47"}), nullptr, Expect::Offset},
    {"Size49BeforeEachReply", decoy({"--decoy-size", "49"}), nullptr, Expect::Offset},
    {"Size68BeforeEachReply", decoy({"--decoy-size", "68"}), nullptr, Expect::Offset},
    {"Size1500BeforeEachReply", decoy({"--decoy-size", "1500"}), nullptr, Expect::Offset},
    {"OnlySize47Replies", {"--size", "47"}, nullptr, Expect::NoServer},
    {"OnlySize49Replies", {"--size", "49"}, nullptr, Expect::NoServer},
    // Forged replies racing the genuine ones.
    {"ForgedReplyFromOtherAddress",
     decoy({"--decoy-from", std::string(NamespacePair::kOtherServerAddress) + ":123"}), nullptr,
     Expect::Offset},
    {"ForgedReplyFromOtherPort",
     decoy({"--decoy-from", std::string(NamespacePair::kServerAddress) + ":124"}), nullptr,
     Expect::Offset},
    {"ForgedReplyWithWrongOriginate", decoy({"--decoy-originate", "wrong"}), nullptr,
     Expect::Offset},
    {"ForgedReplyWithZeroOriginate", decoy({"--decoy-originate", "zero"}), nullptr, Expect::Offset},
    {"EveryReplyTwice", {"--duplicate"}, nullptr, Expect::Offset},
    {"OnlyWrongOriginate", {"--originate", "wrong"}, nullptr, Expect::NoServer},
    // Replies a client must not take.
    {"Mode3Replies", {"--first-byte", "0x23"}, nullptr, Expect::NoServer},
    {"Mode5Replies", {"--first-byte", "0x25"}, nullptr, Expect::NoServer},
    {"KissOfDeathRate", {"--kod", "RATE"}, nullptr, Expect::NoServer},
    {"KissOfDeathDeny", {"--kod", "DENY"}, nullptr, Expect::NoServer},
    {"Stratum16", {"--stratum", "16"}, nullptr, Expect::TimeInvalid},
    {"LeapAlarmOnThreeReplies", onReplies(1, 3, "byte0=0xe4"), nullptr, Expect::Offset},
    {"LeapAlarmOnFourReplies", onReplies(1, 4, "byte0=0xe4"), nullptr, Expect::TimeInvalid},
    // Absurd times: they would sort as the fastest replies, or lie a century off.
    {"TransmitTimeFarAfterReceiveOnTwoReplies", onReplies(1, 2, "ahead=100"), nullptr,
     Expect::Offset},
    {"TransmitTimeBeforeReceive", onReplies(1, 30, "ahead=-0.5"), nullptr, Expect::NoServer},
    {"SecondsWordsZero", onReplies(1, 30, "zero=1"), nullptr, Expect::NoServer},
    // Replies to requests 13 to 30 come after the time-out has evaluated the first 12.
    {"RepliesAfterTheEvaluation", onReplies(13, 30, "delay=9000"), nullptr, Expect::Offset,
     kToleranceSec, 0.0, std::nullopt, 2500},
    // The server's clock around 2036-02-07 06:28:16 UTC.
    {"ServerJustBeforeEraBoundary", {}, nullptr, Expect::Offset, kToleranceSec, 0.0, -60.0},
    {"ServerJustAfterEraBoundary", {}, nullptr, Expect::Offset, kToleranceSec, 0.0, 60.0},
    {"ServerCrossesEraBoundaryDuringBurst", {}, nullptr, Expect::Offset, kToleranceSec, 0.0, -1.5},
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
    double offset = kServerOffsetSec;
    if (c.eraDeltaSec) {
        offset = kEraBoundaryUnix + *c.eraDeltaSec - realUnixNow();
    }
    std::vector<std::string> args = c.responder;
    args.insert(args.end(), {"--offset", std::to_string(offset)});
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
    if (c.settleMs > 0) {
        rig->pump(c.settleMs);
        EXPECT_EQ(rig->form->offsetSec, outcome.offsetSec) << "evaluated twice";
        EXPECT_EQ(rig->form->lastBurst.counted, outcome.replies);
    }
    EXPECT_TRUE(rig->clock.corrections.empty()) << "a manual burst set the clock";

    const double expected = offset + c.biasSec;
    switch (c.expect) {
        case Expect::Offset:
            ASSERT_TRUE(outcome.evaluated) << describe(outcome);
            EXPECT_NEAR(outcome.offsetSec, expected, c.toleranceSec);
            break;
        case Expect::OffsetOrCongested:
            if (outcome.evaluated) {
                EXPECT_NEAR(outcome.offsetSec, expected, c.toleranceSec);
            } else {
                EXPECT_EQ(outcome.text1, kCongested);
            }
            break;
        case Expect::FewOrNone:
            EXPECT_FALSE(outcome.evaluated) << describe(outcome);
            EXPECT_TRUE(outcome.text1 == kCongested || outcome.text1 == kNoServer);
            break;
        case Expect::NoServer:
            EXPECT_EQ(outcome.text1, kNoServer) << describe(outcome);
            break;
        case Expect::TimeInvalid:
            EXPECT_EQ(outcome.text1, kServerTimeInvalid) << describe(outcome);
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileNetwork, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<NetworkCase>& entry) {
                             return std::string(entry.param.name);
                         });

using NetworkLab = LabTest;

TEST_F(NetworkLab, RepliesReplayedFromThePreviousBurstAreIgnored) {
    startResponder({"--replay", "--offset", std::to_string(kServerOffsetSec)});
    bootProgram();
    const BurstSeen first = rig->measure();
    ASSERT_TRUE(first.evaluated) << describe(first);
    rig->pump(2000);  // a pause the responder takes for the end of a burst

    // Each reply now comes after the stale one of the same request in the first burst,
    // whose times are seconds old: taking it would show a wrong offset.
    const BurstSeen second = rig->measure();
    std::printf("[replay] %s\n", describe(second).c_str());
    ASSERT_TRUE(second.evaluated) << describe(second);
    EXPECT_NEAR(second.offsetSec, kServerOffsetSec, kToleranceSec);
    EXPECT_TRUE(rig->clock.corrections.empty());
}

TEST_F(NetworkLab, SocketStillWorksAfterPortUnreachable) {
    bootProgram();
    // Nothing listens yet: the server namespace answers each request with ICMP port
    // unreachable.
    const BurstSeen refused = rig->measure();
    EXPECT_EQ(refused.text1, kNoServer) << describe(refused);

    startResponder({"--offset", std::to_string(kServerOffsetSec)});
    const BurstSeen next = rig->measure();
    ASSERT_TRUE(next.evaluated) << describe(next);
    EXPECT_NEAR(next.offsetSec, kServerOffsetSec, kToleranceSec);
}

TEST_F(NetworkLab, SilentServerBehindFirewallDrop) {
    startResponder({"--offset", std::to_string(kServerOffsetSec)});
    std::string output;
    const std::string nft = "ip netns exec " + net->server() + " nft ";
    ASSERT_TRUE(
        shell(nft + "add table inet lab", &output) &&
        shell(nft + "'add chain inet lab input { type filter hook input priority 0; }'", &output) &&
        shell(nft + "add rule inet lab input udp dport 123 drop", &output))
        << output;
    bootProgram();
    const BurstSeen outcome = rig->measure();
    EXPECT_EQ(outcome.text1, kNoServer) << describe(outcome);
}

TEST_F(NetworkLab, LocalPortAlreadyInUse) {
    startResponder({"--offset", std::to_string(kServerOffsetSec)});
    const int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kClientPort);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    bootProgram();
    ASSERT_EQ(rig->messageBox.shown.size(), 1u);
    EXPECT_EQ(rig->messageBox.shown[0], "本机端口 1231 无法使用");
    const BurstSeen outcome = rig->measure();
    EXPECT_EQ(outcome.text1, kNoServer) << describe(outcome);

    std::string output;
    const int status = runInClient(
        {KORVEL_CLI, "measure", NamespacePair::kServerAddress, "--port", "1231", "--json"}, output);
    EXPECT_EQ(status, 5) << output;
    const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(output)).object();
    EXPECT_EQ(report["message"].toString().toStdString(), "本机端口 1231 无法使用") << output;
    EXPECT_EQ(report["exitCode"].toInt(), 5);
    ::close(holder);
}

// Scripts get one JSON object however the burst ends.
TEST_F(NetworkLab, CliReportsInJsonWhateverTheLocale) {
    std::string output;
    // Nothing answers yet, then the responder does; numbers keep their point where the
    // locale writes a decimal comma.
    ASSERT_TRUE(shell("localedef -i de_DE -f UTF-8 " + inFolder("de_DE.UTF-8"), &output)) << output;
    for (const int expectedStatus : {1, 0}) {
        const int status =
            runInClient({"env", "LOCPATH=" + folder->path().string(), "LC_ALL=de_DE.UTF-8",
                         KORVEL_CLI, "measure", NamespacePair::kServerAddress, "--json"},
                        output);
        EXPECT_EQ(status, expectedStatus) << output;
        const QJsonObject report =
            QJsonDocument::fromJson(QByteArray::fromStdString(output)).object();
        EXPECT_EQ(report["server"].toString(), NamespacePair::kServerAddress) << output;
        EXPECT_EQ(report["port"].toInt(), 123);
        EXPECT_EQ(report["exitCode"].toInt(), expectedStatus);
        if (expectedStatus == 1) {
            EXPECT_EQ(report["message"].toString().toStdString(), kNoServer);
            EXPECT_FALSE(report.contains("offset"));
            startResponder({"--offset", std::to_string(kServerOffsetSec)});
            continue;
        }
        EXPECT_NEAR(report["offset"].toDouble(), kServerOffsetSec, kToleranceSec);
        EXPECT_EQ(report["offsetWholeSec"].toInt(), 3);
        EXPECT_EQ(report["repliesCounted"].toInt(), 25);
        EXPECT_EQ(report["repliesUsed"].toInt(), 20);
        const QJsonArray replies = report["replies"].toArray();
        ASSERT_EQ(replies.size(), 25);
        int used = 0;
        for (const QJsonValue& reply : replies) {
            const QJsonObject r = reply.toObject();
            EXPECT_NEAR(r["offset"].toDouble(), kServerOffsetSec, kToleranceSec);
            if (r["used"].toBool()) {
                ++used;
                EXPECT_GE(r["delay"].toDouble(), report["delayMin"].toDouble());
                EXPECT_LE(r["delay"].toDouble(), report["delayMax"].toDouble());
            }
        }
        EXPECT_EQ(used, 20);
        EXPECT_FALSE(report.contains("message"));
    }
}

// The server at an IPv6 address, from the window; then korvel-cli by names: one with only
// an IPv6 address, one behind a name server that stalls 3 s, and one that does not exist;
// and korvel-cli with bad arguments, each named on one line.
TEST_F(NetworkLab, Ipv6AndSlowOrFailingNameLookUps) {
    startTool(KORVEL_TEST_RESPONDER,
              {"--bind", "::", "--offset", std::to_string(kServerOffsetSec)});
    startTool(KORVEL_TEST_DNS, {"--bind", NamespacePair::kOtherServerAddress, "--name", "slow.test",
                                "--a", NamespacePair::kServerAddress, "--delay", "3000"});
    bootProgram(NamespacePair::kServerIpv6Address);
    const BurstSeen outcome = rig->measure();
    std::printf("[IPv6] %s\n", describe(outcome).c_str());
    ASSERT_TRUE(outcome.evaluated) << describe(outcome);
    EXPECT_NEAR(outcome.offsetSec, kServerOffsetSec, kToleranceSec);

    std::filesystem::create_directories(net->clientEtc());
    std::ofstream(net->clientEtc() + "/hosts")
        << NamespacePair::kServerIpv6Address << " six.test\n";
    std::ofstream(net->clientEtc() + "/resolv.conf")
        << "nameserver " << NamespacePair::kOtherServerAddress << "\n";
    const std::string tryHelp = "\nTry 'korvel-cli --help'\n";
    const struct {
        const char* args;
        int status;
        std::string printed;
    } cases[] = {
        {"measure six.test", 0, "replies used 20 of 25"},
        {"measure slow.test", 0, "replies used 20 of 25"},
        {"measure none.test", 1, "服务器名称无法解析: none.test\n无法连接服务器"},
        {"measure --bogus", 64, "korvel-cli: unknown option '--bogus'" + tryHelp},
        {"", 64, "korvel-cli: missing command 'measure'" + tryHelp},
        {"measure --port", 64, "korvel-cli: option '--port' needs a port number" + tryHelp},
        {"measure --port 70000", 64, "korvel-cli: bad port '70000' (0 to 65535)" + tryHelp},
        {"measure '10.0 .1'", 64, "korvel-cli: bad server address '10.0 .1'" + tryHelp},
        {"measure a.cn 10.0.0.1", 64, "korvel-cli: one server only, not also '10.0.0.1'" + tryHelp},
        {"--version", 0, "korvel-cli 1.00\n"},
    };
    for (const auto& c : cases) {
        std::string output;
        const std::string command = std::string(KORVEL_CLI) + " " + c.args + " 2>&1";
        EXPECT_EQ(runInClient({"sh", "-c", command}, output), c.status) << output;
        EXPECT_NE(output.find(c.printed), std::string::npos) << output;
    }
}

using ScheduledBurst = LabTest;

// Scheduled calibration under a 1000 ms limit, started by the real scheduler: a server one
// hour behind is measured and not applied, then one 0.3 s ahead is applied.
TEST_F(ScheduledBurst, AppliesOnlyAnOffsetBelowTheLimit) {
    startResponder({"--offset", "-3600"});
    bootProgram();
    MainForm& form = *rig->form;
    const std::string log = inFolder("auto.log");
    const auto scheduledBurst = [&] {
        form.Check1.setTicked(true);
        form.Check3.setTicked(true);
        form.HScroll1.setValue(1);
        form.HScroll2.setValue(1000);
        form.Check2.setTicked(true);
        form.Text4.setText(log);
        applySettings(form);
        EXPECT_TRUE(form.settings.autoSyncOn && form.settings.limitOn && form.settings.logOn);
        // The interval (0.1 h) has passed: the next clock-display tick starts the burst.
        rig->watch();
        form.settings.scheduleStart -= 400;
        return rig->waitForBurst();
    };

    const BurstSeen behind = scheduledBurst();
    std::printf("[one hour behind] %s\n", describe(behind).c_str());
    ASSERT_TRUE(behind.evaluated) << describe(behind);
    EXPECT_NEAR(behind.offsetSec, -3600.0, kToleranceSec);
    EXPECT_TRUE(rig->clock.corrections.empty()) << "the scheduled burst corrected the clock";
    const auto lines = fileLines(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("   自动未校准执行（时差不小于限制）"), std::string::npos)
        << lines.back();

    tools.clear();
    startResponder({"--offset", "0.3"});
    const BurstSeen ahead = scheduledBurst();
    ASSERT_TRUE(ahead.evaluated) << describe(ahead);
    ASSERT_EQ(rig->clock.corrections.size(), 1u);
    EXPECT_NEAR(rig->clock.corrections[0], 0.3, 0.01);
}

}  // namespace korvel::lab
