#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/udp_socket.h"
#include "support/virtual_time.h"

namespace korvel::test {

// The program's socket on a virtual network: look-ups answer after lookUpDelayMs with
// lookUpOutcome, sends are recorded and handed to onSend, datagrams arrive through deliver()
// after a virtual delay.
class FakeUdpSocket final : public UdpSocket {
public:
    explicit FakeUdpSocket(VirtualTime& time) : m_time(time) {}

    bool bind(std::int32_t localPort) override;
    void close() override;
    std::int32_t localPort() const override { return m_localPort; }
    void connectTo(const std::string& host, std::int32_t port,
                   std::function<void(ConnectOutcome)> done) override;
    bool send(std::span<const std::uint8_t> datagram) override;
    void setArrivalHandler(std::function<void(std::int32_t)> handler) override {
        m_handler = std::move(handler);
    }
    std::int32_t read(std::span<std::uint8_t> buffer) override;

    // A datagram from host:port arriving afterMs from now; dropped unless the socket is then
    // connected to that host and port.
    void deliver(std::vector<std::uint8_t> bytes, std::string fromHost, std::int32_t fromPort,
                 std::int64_t afterMs = 0);

    const std::vector<std::vector<std::uint8_t>>& sent() const { return m_sent; }
    std::set<std::int32_t> portsInUse;
    std::function<void(const std::vector<std::uint8_t>&)> onSend;
    std::int64_t lookUpDelayMs = 0;
    ConnectOutcome lookUpOutcome = ConnectOutcome::Connected;
    int lookUps = 0;

private:
    VirtualTime& m_time;
    std::string m_remoteHost;
    std::int32_t m_remotePort = 0;
    std::int32_t m_localPort = 0;
    bool m_connected = false;
    int m_lookUpTicket = 0;  // a new look-up or close() voids the pending one
    std::function<void(std::int32_t)> m_handler;
    std::vector<std::vector<std::uint8_t>> m_sent;
    std::optional<std::vector<std::uint8_t>> m_waiting;
};

// An SNTP server on the virtual network, written from the protocol's byte layout alone.
// Its clock is the virtual UTC clock plus offsetMs. Each request is answered unless drop()
// says otherwise (requests are numbered from 1).
class FakeSntpServer {
public:
    static constexpr const char* kAddress = "192.0.2.1";

    FakeSntpServer(VirtualTime& time, FakeUdpSocket& socket);

    double offsetMs = 0.0;
    std::int64_t requestDelayMs = 5;  // client to server
    std::int64_t replyDelayMs = 5;    // server to client
    std::function<bool(int request)> drop;
    // Changes the reply to a request before it leaves.
    std::function<void(int request, std::vector<std::uint8_t>& reply)> tamper;

    int requestsSeen() const { return m_requests; }
    // A well-behaved server's reply: version 4, server mode, stratum 2, the request's transmit
    // time as originate, serverMs (UTC, ms since 1970) as receive and transmit time.
    static std::vector<std::uint8_t> reply(const std::vector<std::uint8_t>& request,
                                           double serverMs);

private:
    void answer(const std::vector<std::uint8_t>& request);
    VirtualTime& m_time;
    FakeUdpSocket& m_socket;
    int m_requests = 0;
};

}  // namespace korvel::test
