#include "support/fake_network.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace korvel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The fake server answers each request it is not told to drop 5 + 5 ms later, echoing its
// transmit time; the socket tells the source and neither sends nor receives once closed.
TEST(FakeNetwork, ServerAnswersAndTheSocketTellsTheSource) {
    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 0};
    FakeUdpSocket socket{time};
    FakeSntpServer server{time, socket};
    std::vector<std::pair<Bytes, bool>> arrivals;
    socket.setRemoteHost("192.0.2.1      ");
    socket.setRemotePort(123);
    ASSERT_TRUE(socket.bind(1231));
    socket.setArrivalHandler([&](std::int32_t) {
        Bytes bytes(48);
        DatagramSource source;
        EXPECT_EQ(socket.read(bytes, source), 48);
        arrivals.emplace_back(bytes, source.fromRemote);
    });
    server.drop = [](int n) { return n == 2; };
    for (std::uint8_t marker = 1; marker <= 3; ++marker) {
        Bytes request(48, 0);
        request[47] = marker;
        ASSERT_TRUE(socket.send(request));
    }
    time.advance(9);
    EXPECT_TRUE(arrivals.empty());
    time.advance(1);
    ASSERT_EQ(arrivals.size(), 2U);
    EXPECT_EQ(arrivals[0].first[31], 1);  // originate: the request's transmit time
    EXPECT_EQ(arrivals[1].first[31], 3);
    EXPECT_TRUE(arrivals[1].second);

    socket.deliver(Bytes(48), "192.0.2.2", 123);
    socket.deliver(Bytes(48), "192.0.2.1", 124);
    time.advance(1);
    ASSERT_EQ(arrivals.size(), 4U);
    EXPECT_FALSE(arrivals[2].second || arrivals[3].second);

    socket.close();
    EXPECT_FALSE(socket.send(Bytes(48)));
    socket.deliver(Bytes(48), "192.0.2.1", 123);
    time.advance(20);
    EXPECT_EQ(arrivals.size(), 4U);
    socket.portsInUse.insert(1231);
    EXPECT_FALSE(socket.bind(1231));
}

}  // namespace
}  // namespace korvel::test
