// korvel-cli, the program's core on its real socket, timers and clock, against hostile servers
// and networks, each case in network namespaces of its own. Nothing here sets the clock.

#include <QJsonArray>
#include <QJsonDocument>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "harness/lab.h"

namespace korvel::lab {

using NetworkLab = LabTest;

constexpr double kServerOffsetSec = 3.25;
// Both ends read the same clock; what is left is millisecond resolution and the scheduling
// latency of a loaded machine running cases side by side (under 1 ms when run alone).
constexpr double kToleranceSec = 0.010;

// What the socket and the network do; what a datagram holds (its size, its fields, a
// kiss-o'-death), duplicates and losses are the unit suites', what the socket lets through from
// where, its own (qt_udp_socket_test.cpp). Run where the locale writes a decimal comma, which
// Qt takes from the environment: the JSON's numbers must keep their point.
TEST_F(NetworkLab, HostileServersAndNetworksStillGiveTheServersOffset) {
    const struct {
        const char* name;
        std::vector<std::string> responder;
        const char* condition;  // impairment relay condition; nullptr: the server answers directly
        double toleranceSec = kToleranceSec;
    } cases[] = {
        // Before each genuine reply a datagram from the server's own socket that the socket
        // must read whole: empty, or a reply with a forged time padded to 1500 bytes.
        {"size 0 before each reply", {"--decoy", "--decoy-size", "0"}, nullptr},
        {"size 1500 before each reply", {"--decoy", "--decoy-size", "1500"}, nullptr},
        // Seeded, so every run sees the same packets.
        {"reordered", {}, "reorder", 0.060},
    };
    std::string output;
    ASSERT_TRUE(shell("localedef -i de_DE -f UTF-8 " + inFolder("de_DE.UTF-8"), &output)) << output;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tools.clear();
        std::vector<std::string> args = c.responder;
        args.insert(args.end(), {"--offset", std::to_string(kServerOffsetSec)});
        if (c.condition == nullptr) {
            startResponder(args);
        } else {
            // The responder behind the impairment relay.
            args.insert(args.begin(), {"--bind", "127.0.0.1"});
            startTool(KORVEL_TEST_RESPONDER, args);
            startTool(KORVEL_TEST_RELAY,
                      {"--listen", std::string(NamespacePair::kServerAddress) + ":123",
                       "--upstream", "127.0.0.1:123", "--condition", c.condition, "--seed", "1"});
        }
        const int status = runInClient(
            withoutClockRight({"env", "LOCPATH=" + folder->path().string(), "LC_ALL=de_DE.UTF-8",
                               KORVEL_CLI, "measure", NamespacePair::kServerAddress, "--json"}),
            output);
        EXPECT_EQ(status, 0) << output;
        const QJsonDocument report = QJsonDocument::fromJson(QByteArray::fromStdString(output));
        EXPECT_NEAR(report["offset"].toDouble(), kServerOffsetSec, c.toleranceSec) << output;
    }
}

// A server that limits as ntpd does: two replies, then RATE in its classic shape (the request's
// own times sent back). The hold outlives the process: a second run at once asks nobody and
// ends at once, although the client's only name server drops every query.
TEST_F(NetworkLab, RateHoldsTheServerBackAcrossRuns) {
    tools.push_back(std::make_unique<ChildProcess>(
        net->client, std::vector<std::string>{KORVEL_TEST_DNS, "--bind", "127.0.0.1"}));
    ASSERT_TRUE(tools.back()->waitReady());
    std::filesystem::create_directories(net->clientEtc());
    std::ofstream(net->clientEtc() + "/resolv.conf") << "nameserver 127.0.0.1\n";
    startResponder({"--offset", std::to_string(kServerOffsetSec), "--limit", "0.125:20:0.5"});
    // Requests are counted where they arrive.
    const std::string nft = "ip netns exec " + net->server + " nft ";
    std::string output;
    ASSERT_TRUE(shell(nft + "'add table inet count; add chain inet count input { type filter hook "
                            "input priority 0; }; add rule inet count input udp dport 123 counter'",
                      &output))
        << output;
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        const auto start = std::chrono::steady_clock::now();
        const int status = runInClient(
            withoutClockRight({KORVEL_CLI, "measure", NamespacePair::kServerAddress}), output);
        EXPECT_EQ(status, 8) << output;
        const auto elapsed = std::chrono::steady_clock::now() - start;
        std::string counted;
        ASSERT_TRUE(shell(nft + "list chain inet count input", &counted));
        EXPECT_NE(counted.find("counter packets 3 "), std::string::npos) << counted;
        if (run == 1) {
            EXPECT_NE(output.find("198.18.0.2 限制访问频率 (RATE)"), std::string::npos) << output;
        } else {
            EXPECT_LT(elapsed, std::chrono::seconds(1)) << "the second run waited";
        }
    }
}

// Names as a name server in the client's namespace answers them: one with four addresses, whose
// members share the burst and outvote the one that is 100 s off, each named with the name it
// came from; four entries that reach one machine, which is asked the whole burst once.
TEST_F(NetworkLab, APoolSharesTheBurstAndOneMachineCountsOnce) {
    const std::string pool = "198.18.0.2,198.18.0.3,198.18.0.4,198.18.0.5";
    tools.push_back(std::make_unique<ChildProcess>(
        net->client,
        std::vector<std::string>{
            KORVEL_TEST_DNS, "--names",
            "pool.test=" + pool + ";a.test=198.18.0.2;b.test=198.18.0.2;c.test=198.18.0.2"}));
    ASSERT_TRUE(tools.back()->waitReady());
    std::filesystem::create_directories(net->clientEtc());
    std::ofstream(net->clientEtc() + "/resolv.conf") << "nameserver 127.0.0.1\n";
    std::string output;
    ASSERT_TRUE(shell("ip -n " + net->server + " addr add 198.18.0.4/32 dev lo && ip -n " +
                          net->server + " addr add 198.18.0.5/32 dev lo",
                      &output))
        << output;
    for (const char* address : {"198.18.0.2", "198.18.0.3", "198.18.0.4", "198.18.0.5"}) {
        const double offset = kServerOffsetSec + (std::string(address) == "198.18.0.5" ? 100 : 0);
        startTool(KORVEL_TEST_RESPONDER, {"--bind", address, "--offset", std::to_string(offset)});
    }
    const struct {
        std::vector<std::string> servers;
        const char* report;  // each server's address, name or machine, requests and agreement
    } cases[] = {
        {{"pool.test"},
         "198.18.0.2 pool.test 7 agreed; 198.18.0.3 pool.test 6 agreed; "
         "198.18.0.4 pool.test 6 agreed; 198.18.0.5 pool.test 6 disagrees; "},
        {{"a.test", "B.test.", "198.18.0.2", "c.test"},
         "a.test =198.18.0.2 0 sameMachine; B.test. =198.18.0.2 0 sameMachine; "
         "198.18.0.2 25 agreed; c.test =198.18.0.2 0 sameMachine; "},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{KORVEL_CLI, "measure", "--json"};
        args.insert(args.end(), c.servers.begin(), c.servers.end());
        EXPECT_EQ(runInClient(withoutClockRight(args), output), 0) << output;
        // After what standard error said of the one that disagrees.
        const QJsonDocument report =
            QJsonDocument::fromJson(QByteArray::fromStdString(output.substr(output.find('{'))));
        EXPECT_NEAR(report["offset"].toDouble(), kServerOffsetSec, kToleranceSec) << output;
        std::string servers;
        for (const QJsonValue server : report["servers"].toArray()) {
            const QString same = server["sameAs"].toString();
            servers += server["address"].toString().toStdString() +
                       (server["name"].isString() ? " " + server["name"].toString().toStdString()
                        : same.isEmpty()          ? ""
                                                  : " =" + same.toStdString()) +
                       " " + std::to_string(server["requests"].toInt()) + " " +
                       server["why"].toString("agreed").toStdString() + "; ";
        }
        EXPECT_EQ(servers, c.report) << output;
    }
}

}  // namespace korvel::lab
