#include "platform/win32/win32_udp_socket.h"

#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

namespace korvel::test {
namespace {

using enum ConnectOutcome;
using Outcomes = std::vector<std::optional<ConnectOutcome>>;

// Dispatches the thread's messages until done() or the time is up; with no time, only those
// already waiting.
void pumpUntil(const std::function<bool()>& done, ULONGLONG timeoutMs = 3000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (MSG message;;) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        if (done() || GetTickCount64() >= end) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

sockaddr_storage endpoint(const char* address, u_short port) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    sockaddr_storage out{};
    if (getaddrinfo(address, std::to_string(port).c_str(), &hints, &found) == 0) {
        std::memcpy(&out, found->ai_addr, found->ai_addrlen);
        freeaddrinfo(found);
    }
    return out;
}

class Win32UdpSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(socket.bind(0));
        socket.setArrivalHandler(
            [this](std::int32_t byteCount, int server, std::optional<std::int64_t>) {
                std::string bytes(static_cast<std::size_t>(byteCount), '\0');
                socket.read({reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()});
                arrivals.push_back(std::to_string(server) + " " + bytes);
            });
        // a, c: the servers, at the port the system gave a (Wine's sockets are the machine's);
        // a+1: a's address, another port. Wine binds no other loopback address.
        for (const auto& [label, address] :
             {std::pair{"a", "127.0.0.1"}, {"c", "::1"}, {"a+1", "127.0.0.1"}}) {
            sockaddr_storage at = endpoint(address, label[0] == 'c' ? peerPorts.at("a") : 0);
            const SOCKET peer = ::socket(at.ss_family, SOCK_DGRAM, IPPROTO_UDP);
            const DWORD timeoutMs = 2000;
            setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                       sizeof timeoutMs);
            ASSERT_EQ(::bind(peer, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0) << label;
            int size = sizeof at;
            getsockname(peer, reinterpret_cast<sockaddr*>(&at), &size);
            peerPorts[label] = ntohs(reinterpret_cast<sockaddr_in&>(at).sin_port);
            peers[label] = peer;
        }
    }
    void TearDown() override {
        for (const auto& [label, peer] : peers) {
            closesocket(peer);
        }
    }
    // The peer's label, sent to the socket.
    void say(const std::string& peer) {
        const sockaddr_storage to =
            endpoint(peer == "c" ? "::1" : "127.0.0.1", static_cast<u_short>(socket.localPort()));
        sendto(peers.at(peer), peer.data(), static_cast<int>(peer.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    MessageWindow window;
    Win32UdpSocket socket{window};
    std::map<std::string, SOCKET> peers;
    std::map<std::string, u_short> peerPorts;
    std::vector<std::string> arrivals;
};

// One socket through the sets, keeping its port; addresses answered on the next turn of the
// loop. Each answer comes with its server's index; strangers, the right address at another port
// and, after keepFirstServer, the other servers never reach the handler. A server at the first's
// address and port is the first; one added takes the next index unless the set has it.
TEST_F(Win32UdpSocketTest, DeliversEachServersDatagramsWithItsIndexAndDropsAllOthers) {
    const struct {
        std::vector<std::string> hosts;
        bool keepFirst;
        std::vector<std::string> answering;  // each server's peer; servers past these get nothing
        std::vector<std::string> strangers;  // send first, unasked
        std::vector<std::string> addresses;  // before keepFirstServer, the added ones' included
        std::vector<std::string> added = {};
    } rows[] = {
        {{"127.0.0.1"}, false, {"a", "a+1"}, {"c"}, {"127.0.0.1", "127.0.0.1"}, {"127.0.0.1"}},
        {{" 127.0.0.1 ", "::1"}, false, {"a", "c"}, {"a+1"}, {"127.0.0.1", "::1"}},
        {{"::1", "127.0.0.1"}, true, {"c"}, {"a", "a+1"}, {"::1", "127.0.0.1"}},
        {{"127.0.0.1", "::FFFF:127.0.0.1"}, false, {"a", "a"}, {"c"}, {"127.0.0.1", "127.0.0.1"}},
    };
    const std::int32_t port = socket.localPort();
    const std::uint8_t ping[] = {'p'};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.hosts));
        arrivals.clear();
        Outcomes seen(row.hosts.size());
        const std::vector<std::int32_t> ports(row.hosts.size(), peerPorts.at("a"));
        socket.setServers(row.hosts, ports, [&](int server, ConnectOutcome outcome) {
            seen.at(static_cast<std::size_t>(server)) = outcome;
        });
        EXPECT_EQ(seen, Outcomes(row.hosts.size())) << "done ran inside setServers";
        pumpUntil([] { return true; });  // the messages waiting now
        EXPECT_EQ(seen, Outcomes(row.hosts.size(), Connected));
        EXPECT_EQ(socket.addServer(socket.addressOf(0), ports[0]), -1);
        const std::size_t servers = row.hosts.size() + row.added.size();
        for (std::size_t added = row.hosts.size(); added < servers; ++added) {
            EXPECT_EQ(socket.addServer(row.added[added - row.hosts.size()],
                                       peerPorts.at(row.answering[added])),
                      static_cast<int>(added));
        }
        for (std::size_t server = 0; server < servers; ++server) {
            EXPECT_EQ(socket.addressesOf(static_cast<int>(server)),
                      std::vector{row.addresses[server]})
                << server;
        }
        if (row.keepFirst) {
            socket.keepFirstServer();
        }
        std::for_each(row.strangers.begin(), row.strangers.end(), [&](auto& p) { say(p); });
        std::vector<std::string> expected;
        for (std::size_t server = 0; server < servers; ++server) {
            const bool answers = server < row.answering.size();
            ASSERT_EQ(socket.send(static_cast<int>(server), ping).sent, answers) << server;
            if (answers) {
                const std::string& label = row.answering[server];
                char received[8];
                ASSERT_EQ(recv(peers.at(label), received, sizeof received, 0), 1);
                say(label);
                const auto first = std::ranges::find(row.answering, label) - row.answering.begin();
                expected.push_back(std::to_string(first) + " " + label);
            }
        }
        pumpUntil([&] { return arrivals.size() >= expected.size(); });
        EXPECT_EQ(arrivals, expected);
        EXPECT_EQ(socket.localPort(), port);
    }
}

// A blank host is not found (asking no name server); a new set or close cancels pending answers.
TEST_F(Win32UdpSocketTest, ANewSetOrCloseCancelsPendingLookUps) {
    Outcomes seen;
    socket.setServers({" "}, {1}, [&](int, ConnectOutcome o) { seen.push_back(o); });
    pumpUntil([&] { return !seen.empty(); });
    EXPECT_EQ(seen, Outcomes{NameNotResolved});
    const std::function<void()> cancels[] = {
        [&] { socket.setServers({"::1"}, {1}, [&](int, auto o) { seen.push_back(o); }); },
        [&] { socket.close(); }};
    for (const auto& cancel : cancels) {
        socket.setServers({" ", "127.0.0.1"}, {1, 1}, [&](int, auto) { ADD_FAILURE() << "stale"; });
        cancel();
        pumpUntil([] { return false; }, 300);
    }
    EXPECT_EQ(seen, (Outcomes{NameNotResolved, Connected}));
}

}  // namespace
}  // namespace korvel::test
