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

// The program's socket on a virtual network: sends are recorded and handed to onSend;
// datagrams arrive through deliver() after a virtual delay.
class FakeUdpSocket final : public UdpSocket {
public:
    explicit FakeUdpSocket(VirtualTime& time) : m_time(time) {}

    void setRemoteHost(const std::string& host) override { m_remoteHost = host; }
    void setRemotePort(std::int32_t port) override { m_remotePort = port; }
    bool bind(std::int32_t localPort) override;
    void close() override { m_localPort = 0; }
    std::int32_t localPort() const override { return m_localPort; }
    bool send(std::span<const std::uint8_t> datagram) override;
    void setArrivalHandler(std::function<void(std::int32_t)> handler) override {
        m_handler = std::move(handler);
    }
    std::int32_t read(std::span<std::uint8_t> buffer, DatagramSource& source) override;

    // A datagram from host:port arriving afterMs from now (while the socket is bound).
    void deliver(std::vector<std::uint8_t> bytes, std::string fromHost, std::int32_t fromPort,
                 std::int64_t afterMs = 0);

    const std::string& remoteHost() const { return m_remoteHost; }
    std::int32_t remotePort() const { return m_remotePort; }
    const std::vector<std::vector<std::uint8_t>>& sent() const { return m_sent; }
    std::set<std::int32_t> portsInUse;
    std::function<void(const std::vector<std::uint8_t>&)> onSend;

private:
    VirtualTime& m_time;
    std::string m_remoteHost;
    std::int32_t m_remotePort = 0;
    std::int32_t m_localPort = 0;
    std::function<void(std::int32_t)> m_handler;
    std::vector<std::vector<std::uint8_t>> m_sent;
    struct Waiting {
        std::vector<std::uint8_t> bytes;
        bool fromRemote;
    };
    std::optional<Waiting> m_waiting;
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
