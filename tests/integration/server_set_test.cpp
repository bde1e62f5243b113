// korvel-cli against a set of servers over the real sockets: responders that limit, refuse,
// fall silent or run an hour ahead, behind a name server that drops every query. The rules
// themselves are the unit suite's (virtual time); these rows prove them on the wire, with
// requests counted where they arrive. None steps the clock (stepping on the set's word is the
// scheduled correction suite's).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#include "harness/lab_fixture.h"

namespace korvel::lab {

namespace {

constexpr const char* kHourAhead = "3603.25";

struct ServerSetCase {
    const char* name;
    std::vector<std::vector<std::string>> responders;  // one per server, in order
    int status;
    std::vector<int> requests;  // seen by each server
    std::string says;           // a part of the output
    int withinMs = 0;           // the run ends this soon (0: no bound)
    bool holdsRate = false;     // a second run at once ends at once, asking nobody
};

void PrintTo(const ServerSetCase& c, std::ostream* os) {
    *os << c.name;
}

const ServerSetCase kCases[] = {
    // An address is never asked of the name server: measured as soon as 25 replies are in.
    {"AddressWhileTheNameServerDropsEveryQuery", {{}}, 0, {25}, "replies used 20 of 25", 3000},
    {"FourServersOneLimitsOneSilentOneAnHourAhead",
     {{}, {"--ratelimit", "3:4"}, {"--silent"}, {"--offset", kHourAhead}},
     0,
     {8, 8, 7, 7},
     "agreed: 198.18.0.2, 198.18.0.3\nnot used: 198.18.0.4 (noReply), 198.18.0.5 (disagrees)"},
    // Two replies, then RATE: nothing more, and the hold outlives the process.
    {"SingleServerThatLimits",
     {{"--limit", "0.125:20:0.5"}},
     8,
     {3},
     "198.18.0.2 限制访问频率 (RATE)",
     0,
     true},
    {"SingleServerThatDeniesFromTheFifthRequest",
     {{"--kod", "DENY", "--kod-from", "5"}},
     8,
     {5},
     "198.18.0.2 拒绝服务 (DENY)"},
};

class ServerSet : public LabTest, public ::testing::WithParamInterface<ServerSetCase> {
protected:
    // Counts the requests that reach each server address, in the server namespace.
    void countRequests(std::size_t servers) {
        const std::string nft = "ip netns exec " + net->server() + " nft ";
        std::string script = nft + "add table inet count && " + nft +
                             "'add chain inet count input { type filter hook input priority 0; }'";
        for (std::size_t i = 0; i < servers; ++i) {
            script += " && " + nft + "add rule inet count input ip daddr " +
                      NamespacePair::kSetAddresses[i] + " udp dport 123 counter";
        }
        std::string output;
        ASSERT_TRUE(shell(script, &output)) << output;
    }
    std::vector<int> requestsSeen(std::size_t servers) {
        std::string listing;
        shell("ip netns exec " + net->server() + " nft list chain inet count input", &listing);
        std::vector<int> seen;
        for (std::size_t i = 0; i < servers; ++i) {
            std::smatch match;
            const std::regex counter(std::string(NamespacePair::kSetAddresses[i]) +
                                     " udp dport 123 counter packets (\\d+)");
            seen.push_back(std::regex_search(listing, match, counter) ? std::stoi(match[1]) : -1);
        }
        return seen;
    }
};

}  // namespace

TEST_P(ServerSet, MeasuresWhatTheSetAllowsAndStepsOnlyOnItsWord) {
    const ServerSetCase& c = GetParam();
    // The client's only name server drops every query.
    tools.push_back(std::make_unique<ChildProcess>(
        net->client(), std::vector<std::string>{KORVEL_TEST_DNS, "--bind", "127.0.0.1", "--drop"}));
    ASSERT_TRUE(tools.back()->waitReady());
    std::filesystem::create_directories(net->clientEtc());
    std::ofstream(net->clientEtc() + "/resolv.conf") << "nameserver 127.0.0.1\n";

    std::vector<std::string> command = {KORVEL_CLI, "measure"};
    for (std::size_t i = 0; i < c.responders.size(); ++i) {
        std::vector<std::string> args = {"--bind", NamespacePair::kSetAddresses[i], "--offset",
                                         std::to_string(kServerOffsetSec)};
        args.insert(args.end(), c.responders[i].begin(), c.responders[i].end());
        startTool(KORVEL_TEST_RESPONDER, args);
        command.push_back(NamespacePair::kSetAddresses[i]);
    }
    countRequests(c.responders.size());

    const auto run = [&](std::string& output) {
        const auto start = std::chrono::steady_clock::now();
        const int status = runInClient(withoutClockRight(command), output);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        return std::pair{status, std::chrono::duration_cast<std::chrono::milliseconds>(elapsed)};
    };
    std::string output;
    const auto [status, elapsed] = run(output);
    std::printf("[%s] exit %d after %lld ms\n%s", c.name, status,
                static_cast<long long>(elapsed.count()), output.c_str());
    EXPECT_EQ(status, c.status) << output;
    EXPECT_NE(output.find(c.says), std::string::npos) << output;
    EXPECT_EQ(requestsSeen(c.responders.size()), c.requests);
    if (c.withinMs > 0) {
        EXPECT_LT(elapsed.count(), c.withinMs);
    }
    if (const auto at = output.find("offset "); c.status == 0 || at != std::string::npos) {
        ASSERT_NE(at, std::string::npos) << output;
        EXPECT_NEAR(std::stod(output.substr(at + 7)), kServerOffsetSec, kToleranceSec);
    }
    if (c.holdsRate) {
        const auto [again, againElapsed] = run(output);
        EXPECT_EQ(again, c.status) << output;
        EXPECT_LT(againElapsed.count(), 1000) << "the second run waited";
        EXPECT_EQ(requestsSeen(c.responders.size()), c.requests) << "a held server was asked";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ServerSet, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ServerSetCase>& entry) {
                             return std::string(entry.param.name);
                         });

}  // namespace korvel::lab
