// The Linux socket on loopback. The whole process runs in network and mount namespaces of its
// own (root), so nothing it sends leaves the machine and its look-ups meet only this test's
// hosts file and name server.

#include "platform/qt/qt_udp_socket.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <tuple>

namespace korvel {
namespace {

bool isolated = false;
constexpr quint16 kServerPort = 40123;
using enum ConnectOutcome;
using Outcomes = std::vector<std::optional<ConnectOutcome>>;

void runUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    for (const QDeadlineTimer deadline(timeoutMs); !done() && !deadline.hasExpired();) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

std::int64_t utcNs() {
    return std::chrono::system_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
}

// The remote port the system's table shows for the local port: the server's when connected.
int remotePort(std::int32_t localPort) {
    std::ifstream table("/proc/net/udp6");
    std::string line;
    std::getline(table, line);  // the heading
    for (std::string slot, local, remote; table >> slot >> local >> remote;
         std::getline(table, line)) {
        if (std::stoi(local.substr(local.size() - 4), nullptr, 16) == localPort) {
            return std::stoi(remote.substr(remote.size() - 4), nullptr, 16);
        }
    }
    return -1;
}

class QtUdpSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(isolated) << "needs root: runs in network and mount namespaces of its own";
        ASSERT_TRUE(socket.bind(0));
        socket.setArrivalHandler(
            [this](std::int32_t byteCount, int server, std::optional<std::int64_t> received) {
                std::string bytes(static_cast<std::size_t>(byteCount), '\0');
                socket.read({reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()});
                arrivals.push_back(std::to_string(server) + " " + bytes);
                // The kernel's stamp: on the system clock, before the handler runs.
                EXPECT_TRUE(received && since <= *received && *received <= utcNs()) << bytes;
            });
        // a, b, c: the servers; x: an unknown address; a+1: a's address, another port.
        for (const auto& [label, address, port] :
             {std::tuple{"a", "127.0.0.1", kServerPort},
              {"b", "127.0.0.2", kServerPort},
              {"c", "::1", kServerPort},
              {"x", "127.0.0.3", kServerPort},
              {"a+1", "127.0.0.1", quint16(kServerPort + 1)}}) {
            ASSERT_TRUE(peers[label].bind(QHostAddress(address), port));
        }
        // A name server that counts its queries and answers each "no such name" (NXDOMAIN).
        ASSERT_TRUE(nameServer.bind(QHostAddress::LocalHost, 53));
        QObject::connect(&nameServer, &QUdpSocket::readyRead, [this] {
            while (nameServer.hasPendingDatagrams()) {
                const QNetworkDatagram query = nameServer.receiveDatagram();
                QByteArray answer = query.data();
                answer[2] = static_cast<char>(answer[2] | 0x80);
                answer[3] = static_cast<char>(0x83);
                nameServer.writeDatagram(query.makeReply(answer));
                ++queries;
            }
        });
    }
    // The peer's label, sent to the socket.
    void say(const std::string& peer) {
        QUdpSocket& from = peers.at(peer);
        from.writeDatagram(QByteArray::fromStdString(peer),
                           peer == "c" ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost,
                           static_cast<quint16>(socket.localPort()));
    }
    // setServers, at the ports given or the servers' port; the outcomes after one turn of the
    // event loop, and in the end.
    Outcomes point(const std::vector<std::string>& hosts, Outcomes* nextTurn = nullptr,
                   std::vector<std::int32_t> ports = {}) {
        Outcomes seen(hosts.size());
        ports.resize(hosts.size(), kServerPort);
        socket.setServers(hosts, ports, [&](int server, ConnectOutcome outcome) {
            seen.at(static_cast<std::size_t>(server)) = outcome;
        });
        EXPECT_EQ(seen, Outcomes(hosts.size())) << "done ran inside setServers";
        QCoreApplication::processEvents();
        if (nextTurn != nullptr) {
            *nextTurn = seen;
        }
        runUntil([&] { return std::count(seen.begin(), seen.end(), std::nullopt) == 0; });
        return seen;
    }

    QtUdpSocket socket;
    std::map<std::string, QUdpSocket> peers;
    QUdpSocket nameServer;
    int queries = 0;
    std::vector<std::string> arrivals;
    std::int64_t since = 0;  // no datagram arrives before this
};

// One socket through the sets in turn, keeping its port, each server at its peer's port: each
// request carries the kernel's stamp of its leaving, each answer is reported with its server's
// index and the kernel's stamp of its arrival; anyone else, the right address at another port,
// and after keepFirstServer the other servers never reach the handler. One server, or the first
// kept: connected. A second server at the address and port of the first is sent to, and what
// comes from there is the first's. A server added at another address of a name takes the next
// index, and the socket connects to none; one at an address and port of the set is refused.
TEST_F(QtUdpSocketTest, DeliversEachServersDatagramsWithItsIndexAndDropsAllOthers) {
    const struct {
        std::vector<std::string> hosts;
        bool keepFirst;
        std::vector<std::string> answering;  // each server's peer; servers past these get nothing
        std::vector<std::string> strangers;  // send first, unasked
        std::vector<std::string> added = {};
    } rows[] = {
        {{"127.0.0.1"}, false, {"a"}, {"b", "a+1"}},
        {{"::1"}, false, {"c"}, {"a", "x"}},
        {{"127.0.0.1", " peer.test ", "::1"}, false, {"a", "b", "c"}, {"x", "a+1"}},
        {{"127.0.0.1", "127.0.0.2", "::1"}, true, {"a"}, {"b", "c"}},
        {{"127.0.0.1", "::ffff:127.0.0.1", "127.0.0.1"}, false, {"a", "a", "a+1"}, {"x"}},
        {{"peer.test"}, false, {"b", "c"}, {"a"}, {"::1"}},
    };
    const std::int32_t port = socket.localPort();
    const std::uint8_t ping[] = {'p'};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.hosts));
        arrivals.clear();
        since = utcNs();
        std::vector<std::int32_t> ports;
        for (const std::string& peer : row.answering) {
            ports.push_back(peers.at(peer).localPort());
        }
        EXPECT_EQ(point(row.hosts, nullptr, ports), Outcomes(row.hosts.size(), Connected));
        EXPECT_EQ(socket.addServer(socket.addressOf(0), ports[0]), -1);
        const std::size_t servers = row.hosts.size() + row.added.size();
        for (std::size_t added = row.hosts.size(); added < servers; ++added) {
            EXPECT_EQ(socket.addServer(row.added[added - row.hosts.size()], ports[added]),
                      static_cast<int>(added));
        }
        if (row.keepFirst) {
            socket.keepFirstServer();
        }
        EXPECT_EQ(remotePort(port), servers == 1 || row.keepFirst ? kServerPort : 0);
        std::for_each(row.strangers.begin(), row.strangers.end(), [&](auto& p) { say(p); });
        std::vector<std::string> expected;
        for (std::size_t server = 0; server < servers; ++server) {
            const bool answers = server < row.answering.size();
            const std::int64_t before = utcNs();
            const SentDatagram sent = socket.send(static_cast<int>(server), ping);
            ASSERT_EQ(sent.sent, answers) << server;
            if (answers) {
                // The kernel's stamp of its leaving, taken within the send.
                const std::optional<std::int64_t> left = sent.leftUtcNs;
                EXPECT_TRUE(left && before <= *left && *left <= utcNs()) << server;
                const std::string& label = row.answering[server];
                QUdpSocket& peer = peers.at(label);
                ASSERT_TRUE(peer.waitForReadyRead(2000));
                EXPECT_EQ(peer.receiveDatagram().senderPort(), port);
                say(label);
                const auto first = std::ranges::find(row.answering, label) - row.answering.begin();
                expected.push_back(std::to_string(first) + " " + label);
            }
        }
        runUntil([&] { return arrivals.size() >= expected.size(); });
        EXPECT_EQ(arrivals, expected);
        EXPECT_EQ(socket.localPort(), port);
    }
}

// A port another socket holds (here without sharing it, on IPv4 alone) is refused. An ICMP port
// unreachable (nothing listens at the server's port yet) leaves the socket usable: once the
// server is up, the next request reaches it and its answer the handler.
TEST_F(QtUdpSocketTest, RefusesAHeldPortAndStaysUsableAfterPortUnreachable) {
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
    QtUdpSocket other;
    EXPECT_FALSE(other.bind(holder.localPort()));
    EXPECT_TRUE(other.bind(0));
    const quint16 laterPort = kServerPort + 2;
    std::optional<ConnectOutcome> outcome;
    socket.setServers({"127.0.0.1"}, {laterPort}, [&](int, ConnectOutcome o) { outcome = o; });
    runUntil([&] { return outcome.has_value(); });
    const std::uint8_t ping[] = {'p'};
    ASSERT_TRUE(socket.send(0, ping).sent);
    runUntil([] { return false; }, 200);  // the error comes back meanwhile
    QUdpSocket server;
    ASSERT_TRUE(server.bind(QHostAddress::LocalHost, laterPort));
    ASSERT_TRUE(socket.send(0, ping).sent);
    ASSERT_TRUE(server.waitForReadyRead(2000));
    server.writeDatagram(server.receiveDatagram().makeReply("up"));
    runUntil([&] { return !arrivals.empty(); });
    EXPECT_EQ(arrivals, std::vector<std::string>{"0 up"});
}

// Addresses are never asked of the name server and answer on the next turn of the event loop;
// names go to the hosts file (IPv4 first), then the name server. Each server found has its
// addresses in one form, whatever form they were written in, the one it was found at first.
TEST_F(QtUdpSocketTest, TakesAddressesAsTheyAreAndLooksNamesUp) {
    const struct {
        std::vector<std::string> hosts;
        Outcomes outcomes;
        bool nextTurn;
        bool nameServerAsked;
        const char* addresses;  // each server's, its own after a blank, between servers a '|'
    } rows[] = {
        {{"127.0.0.2", " ::1 "}, {Connected, Connected}, true, false, "127.0.0.2|::1"},
        {{"2001:db8::1"}, {NetworkUnreachable}, true, false, ""},  // no route in the namespace
        {{"192.0.2.1", "2001:db8::1"}, {NetworkUnreachable, NetworkUnreachable}, true, false, "|"},
        {{"peer.test"}, {Connected}, false, false, "127.0.0.2 ::1"},
        {{"nowhere.invalid", "127.0.0.1"}, {NameNotResolved, Connected}, false, true, "|127.0.0.1"},
        {{"127.000.000.002", "::FFFF:127.0.0.2"},
         {Connected, Connected},
         false,
         false,
         "127.0.0.2|127.0.0.2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.hosts));
        const int asked = queries;
        Outcomes nextTurn;
        EXPECT_EQ(point(row.hosts, &nextTurn), row.outcomes);
        if (row.nextTurn) {
            EXPECT_EQ(nextTurn, row.outcomes);
        }
        EXPECT_EQ(queries > asked, row.nameServerAsked);
        std::string addresses;
        for (int server = 0; server < static_cast<int>(row.hosts.size()); ++server) {
            for (const std::string& address : socket.addressesOf(server)) {
                addresses += (addresses.empty() || addresses.back() == '|' ? "" : " ") + address;
            }
            addresses += server + 1 < static_cast<int>(row.hosts.size()) ? "|" : "";
        }
        EXPECT_EQ(addresses, row.addresses);
    }
}

// A new set, keepFirstServer and close each cancel the look-ups still pending, of a name and
// of an address: their done never runs, the new set's does.
TEST_F(QtUdpSocketTest, ANewSetKeepingTheFirstOrClosingCancelsPendingLookUps) {
    Outcomes fresh;
    const std::function<void()> cancels[] = {
        [&] { socket.setServers({"127.0.0.2"}, {1}, [&](int, auto o) { fresh.push_back(o); }); },
        [&] { socket.keepFirstServer(); },
        [&] { socket.close(); },
    };
    for (const auto& cancel : cancels) {
        int stale = 0;
        socket.setServers({"nowhere.invalid", "127.0.0.1"}, {1, 1}, [&](int, auto) { ++stale; });
        cancel();
        runUntil([] { return false; }, 300);
        EXPECT_EQ(stale, 0);
    }
    EXPECT_EQ(fresh, Outcomes{Connected});
}

}  // namespace
}  // namespace korvel

// Namespaces are made before any thread exists. Listing the tests needs none.
int main(int argc, char** argv) {
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNET | CLONE_NEWNS) == 0 &&
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) {
        ifreq lo{};
        std::strcpy(lo.ifr_name, "lo");
        lo.ifr_flags = IFF_UP;
        const int control = ::socket(AF_INET, SOCK_DGRAM, 0);
        korvel::isolated = ::ioctl(control, SIOCSIFFLAGS, &lo) == 0;
        ::close(control);
        // The files look-ups read, this test's own.
        for (const auto& [path, text] :
             {std::pair{"/etc/resolv.conf", "nameserver 127.0.0.1\noptions attempts:1\n"},
              {"/etc/hosts", "::1 peer.test\n127.0.0.2 peer.test\n"},
              {"/etc/nsswitch.conf", "hosts: files dns\n"}}) {
            char file[] = "/tmp/korvel-etc-XXXXXX";
            ::close(::mkstemp(file));
            std::ofstream(file) << text;
            korvel::isolated &= ::mount(file, path, nullptr, MS_BIND, nullptr) == 0;
            ::unlink(file);
        }
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
