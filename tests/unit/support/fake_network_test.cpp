#include "support/fake_network.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace korvel::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using Bytes = std::vector<std::uint8_t>;

struct Arrival {
    std::int32_t size;
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
        socket.setArrivalHandler([this](std::int32_t size) {
            Arrival a{size, 0, false, time.nowMs(), Bytes(64, 0)};
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
    bytes[2] = 6;
    bytes[40] = 0xEE;
    bytes[47] = transmitMarker;
    return bytes;
}

TEST(FakeSntpServer, AnswersWithItsClockAndEchoesTheTransmitTime) {
    Network net;
    net.server.offsetMs = 1500;
    ASSERT_TRUE(net.socket.send(request(0x42)));
    net.time.advance(20);
    ASSERT_EQ(net.arrivals.size(), 1U);
    const Arrival& a = net.arrivals[0];
    EXPECT_EQ(a.size, 48);
    EXPECT_EQ(a.read, 48);
    EXPECT_TRUE(a.fromRemote);
    EXPECT_EQ(a.atMs, 10);  // 5 ms out, 5 ms back
    EXPECT_EQ(a.bytes[0], 0x24);
    EXPECT_EQ(a.bytes[1], 2);
    EXPECT_EQ(a.bytes[2], 6);
    EXPECT_EQ(a.bytes[24], 0xEE);  // originate = our transmit
    EXPECT_EQ(a.bytes[31], 0x42);
    // Receive and transmit: 01:05:07.005 UTC + 1.5 s = NTP 0xEEBF3344 + 0.505 s.
    EXPECT_THAT(Bytes(a.bytes.begin() + 40, a.bytes.begin() + 44),
                ElementsAre(0xEE, 0xBF, 0x33, 0x44));
    const std::uint32_t fraction = std::uint32_t{a.bytes[44]} << 24 |
                                   std::uint32_t{a.bytes[45]} << 16 |
                                   std::uint32_t{a.bytes[46]} << 8 | a.bytes[47];
    // Within a microsecond (4295 units) of 0.505 s.
    EXPECT_NEAR(fraction, 0x8147AE14, 4295);
    EXPECT_EQ(Bytes(a.bytes.begin() + 32, a.bytes.begin() + 40),
              Bytes(a.bytes.begin() + 40, a.bytes.begin() + 48));
}

TEST(FakeSntpServer, DropAndShapeActOnTheNumberedRequest) {
    Network net;
    net.server.drop = [](int n) { return n == 2; };
    net.server.shape = [](int n, Bytes& reply) { reply[1] = static_cast<std::uint8_t>(10 + n); };
    for (std::uint8_t i = 1; i <= 3; ++i) {
        net.socket.send(request(i));
    }
    net.time.advance(20);
    EXPECT_EQ(net.server.requestsSeen(), 3);
    ASSERT_EQ(net.arrivals.size(), 2U);
    EXPECT_EQ(net.arrivals[0].bytes[1], 11);
    EXPECT_EQ(net.arrivals[1].bytes[1], 13);
    EXPECT_EQ(net.arrivals[1].bytes[31], 3);
}

TEST(FakeUdpSocket, TellsWhetherADatagramCameFromTheRemoteHostAndPort) {
    Network net;
    net.socket.deliver(Bytes(48, 1), "192.0.2.1", 123);
    net.socket.deliver(Bytes(48, 2), "192.0.2.2", 123);
    net.socket.deliver(Bytes(48, 3), "192.0.2.1", 124);
    net.time.advance(1);
    ASSERT_EQ(net.arrivals.size(), 3U);
    EXPECT_TRUE(net.arrivals[0].fromRemote);
    EXPECT_FALSE(net.arrivals[1].fromRemote);
    EXPECT_FALSE(net.arrivals[2].fromRemote);
}

TEST(FakeUdpSocket, UnreadDatagramIsGoneAfterItsArrival) {
    VirtualTime time(utcTime(2026, 12, 6, 1, 5, 7), 0);
    FakeUdpSocket socket(time);
    socket.bind(1231);
    socket.setArrivalHandler([](std::int32_t) {});
    socket.deliver(Bytes(68, 0), "192.0.2.1", 123);
    time.advance(1);
    Bytes buffer(48);
    DatagramSource source;
    EXPECT_EQ(socket.read(buffer, source), -1);
}

TEST(FakeUdpSocket, UnboundSocketNeitherSendsNorReceives) {
    Network net;
    net.socket.close();
    EXPECT_EQ(net.socket.localPort(), 0);
    EXPECT_FALSE(net.socket.send(request(1)));
    net.socket.deliver(Bytes(48, 0), "192.0.2.1", 123);
    net.time.advance(20);
    EXPECT_THAT(net.arrivals, IsEmpty());
    EXPECT_THAT(net.socket.sent(), IsEmpty());
}

TEST(FakeUdpSocket, BindRefusesPortsInUseOrOutOfRange) {
    VirtualTime time(utcTime(2026, 12, 6, 1, 5, 7), 0);
    FakeUdpSocket socket(time);
    socket.portsInUse.insert(1231);
    EXPECT_FALSE(socket.bind(1231));
    EXPECT_FALSE(socket.bind(65536));
    EXPECT_FALSE(socket.bind(-1));
    EXPECT_TRUE(socket.bind(0));
    EXPECT_NE(socket.localPort(), 0);
    EXPECT_TRUE(socket.bind(4000));
    EXPECT_EQ(socket.localPort(), 4000);
}

}  // namespace
}  // namespace korvel::test
