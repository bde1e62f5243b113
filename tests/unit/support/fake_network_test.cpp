#include "support/fake_network.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Arrival {
    std::int32_t read;
    bool fromRemote;
    std::int64_t atMs;
    Bytes bytes;
};

// A bound socket pointed at the fake server, recording what arrives.
struct Network {
    Network() {
        socket.setRemoteHost("192.0.2.1      ");
        socket.setRemotePort(123);
        socket.bind(1231);
        socket.setArrivalHandler([this](std::int32_t) {
            Arrival a{0, false, time.nowMs(), Bytes(64, 0)};
            DatagramSource source;
            a.read = socket.read(a.bytes, source);
            a.fromRemote = source.fromRemote;
            arrivals.push_back(a);
        });
    }
    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 0};
    FakeUdpSocket socket{time};
    FakeSntpServer server{time, socket};
    std::vector<Arrival> arrivals;
};

Bytes request(std::uint8_t transmitMarker) {
    Bytes bytes(48, 0);
    bytes[0] = 0x23;
    bytes[40] = 0xEE;
    bytes[47] = transmitMarker;
    return bytes;
}

Bytes slice(const Bytes& bytes, std::size_t first, std::size_t count) {
    return {bytes.begin() + static_cast<long>(first),
            bytes.begin() + static_cast<long>(first + count)};
}

TEST(FakeSntpServer, AnswersWithItsClockEchoesTheTransmitTimeAndObeysDropAndShape) {
    Network net;
    net.server.offsetMs = 1500;
    net.server.drop = [](int n) { return n == 2; };
    net.server.shape = [](int n, Bytes& reply) { reply[2] = static_cast<std::uint8_t>(10 + n); };
    for (std::uint8_t i = 1; i <= 3; ++i) {
        ASSERT_TRUE(net.socket.send(request(i)));
    }
    net.time.advance(20);
    EXPECT_EQ(net.server.requestsSeen(), 3);
    ASSERT_EQ(net.arrivals.size(), 2U);
    const Arrival& a = net.arrivals[0];
    EXPECT_EQ(a.read, 48);
    EXPECT_TRUE(a.fromRemote);
    EXPECT_EQ(a.atMs, 10);  // 5 ms out, 5 ms back
    EXPECT_EQ(slice(a.bytes, 0, 3), (Bytes{0x24, 2, 11}));
    EXPECT_EQ(slice(a.bytes, 24, 8), slice(request(1), 40, 8));  // originate = our transmit
    EXPECT_EQ(net.arrivals[1].bytes[2], 13);
    // Receive and transmit: 01:05:07.005 UTC + 1.5 s = NTP 0xEEBF3344 + 0.505 s.
    EXPECT_EQ(slice(a.bytes, 40, 4), (Bytes{0xEE, 0xBF, 0x33, 0x44}));
    const std::uint32_t fraction = std::uint32_t{a.bytes[44]} << 24 |
                                   std::uint32_t{a.bytes[45]} << 16 |
                                   std::uint32_t{a.bytes[46]} << 8 | a.bytes[47];
    EXPECT_NEAR(fraction, 0x8147AE14, 4295);  // within a microsecond
    EXPECT_EQ(slice(a.bytes, 32, 8), slice(a.bytes, 40, 8));
}

TEST(FakeUdpSocket, TellsTheSourceAndNeitherSendsNorReceivesUnbound) {
    Network net;
    net.socket.deliver(Bytes(48, 1), "192.0.2.1", 123);
    net.socket.deliver(Bytes(48, 2), "192.0.2.2", 123);
    net.socket.deliver(Bytes(48, 3), "192.0.2.1", 124);
    net.time.advance(1);
    ASSERT_EQ(net.arrivals.size(), 3U);
    EXPECT_TRUE(net.arrivals[0].fromRemote);
    EXPECT_FALSE(net.arrivals[1].fromRemote);
    EXPECT_FALSE(net.arrivals[2].fromRemote);

    net.socket.close();
    EXPECT_EQ(net.socket.localPort(), 0);
    EXPECT_FALSE(net.socket.send(request(1)));
    net.socket.deliver(Bytes(48, 0), "192.0.2.1", 123);
    net.time.advance(20);
    EXPECT_EQ(net.arrivals.size(), 3U);
    net.socket.portsInUse.insert(1231);
    EXPECT_FALSE(net.socket.bind(1231));
    EXPECT_FALSE(net.socket.bind(65536));
    EXPECT_TRUE(net.socket.bind(4000));
}

}  // namespace
}  // namespace korvel::test
