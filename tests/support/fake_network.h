#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/udp_socket.h"
#include "support/virtual_time.h"

namespace korvel::test {

// The program's socket on a virtual network: look-ups answer after lookUpDelayMs with
// lookUpOutcome, sends are recorded and handed to the server registered at their host,
// datagrams arrive through deliver() after a virtual delay.
class FakeUdpSocket final : public UdpSocket {
public:
    explicit FakeUdpSocket(VirtualTime& time) : m_time(time) {}

    bool bind(std::int32_t localPort) override;
    void close() override;
    std::int32_t localPort() const override { return m_localPort; }
    void setServers(const std::vector<std::string>& hosts, const std::vector<std::int32_t>& ports,
                    std::function<void(int, ConnectOutcome)> done) override;
    void keepFirstServer() override;
    std::string addressOf(int server) const override;
    std::vector<std::string> addressesOf(int server) const override;
    int addServer(const std::string& address, std::int32_t port) override;
    SentDatagram send(int server, std::span<const std::uint8_t> datagram) override;
    void setArrivalHandler(ArrivalHandler handler) override { m_handler = std::move(handler); }
    std::int32_t read(std::span<std::uint8_t> buffer) override;

    // A datagram from host:port arriving afterMs from now, handed to the handler
    // handlerLateMs after that, as the first server found there; dropped where none is.
    void deliver(std::vector<std::uint8_t> bytes, std::string fromHost, std::int32_t fromPort,
                 std::int64_t afterMs = 0);
    // How far the system's stamp of a datagram's arrival is off; none: datagrams carry no
    // stamp, as on Windows.
    std::optional<std::int64_t> stampErrorMs = 0;
    // How long a busy program takes to reach a datagram that arrived.
    std::int64_t handlerLateMs = 0;
    // How long a send waits before its datagram leaves, and how far the system's stamp of
    // its leaving is off; none: no stamp, as on Windows.
    std::int64_t sendLateMs = 0;
    std::optional<std::int64_t> leftStampErrorMs;

    const std::vector<std::vector<std::uint8_t>>& sent() const { return m_sent; }
    std::set<std::int32_t> portsInUse;
    using Endpoint = std::pair<std::string, std::int32_t>;  // a host and a port
    std::map<Endpoint, std::function<void(const std::vector<std::uint8_t>&)>> onSendTo;
    std::int64_t lookUpDelayMs = 0;
    ConnectOutcome lookUpOutcome = ConnectOutcome::Connected;
    std::map<std::string, ConnectOutcome> lookUpOutcomeOf;  // by host, before lookUpOutcome
    // A name's addresses; a host not here is its own address.
    std::map<std::string, std::vector<std::string>> addressesOfName;
    int lookUps = 0;

private:
    VirtualTime& m_time;
    std::vector<Endpoint> m_hosts;  // of the last setServers, and port; no host where not found
    std::vector<std::vector<std::string>> m_found;  // each server's addresses; none: not found
    std::int32_t m_localPort = 0;
    int m_lookUpTicket = 0;  // a new look-up or close() voids the pending ones
    ArrivalHandler m_handler;
    std::vector<std::vector<std::uint8_t>> m_sent;
    std::optional<std::vector<std::uint8_t>> m_waiting;
};

// An SNTP server on the virtual network, written from the protocol's byte layout alone.
// Its clock is the virtual UTC clock plus offsetMs. Each request is answered unless drop()
// says otherwise (requests are numbered from 1).
class FakeSntpServer {
public:
    static constexpr const char* kAddress = "192.0.2.1";

    FakeSntpServer(VirtualTime& time, FakeUdpSocket& socket, std::string address = kAddress,
                   std::int32_t port = 123);

    double offsetMs = 0.0;
    static constexpr std::int64_t kRequestDelayMs = 5;  // client to server
    std::int64_t replyDelayMs = 5;                      // server to client
    std::function<bool(int request)> drop;
    // Wraps the reply in what the request asks for (NTS), before tamper sees it.
    std::function<void(const std::vector<std::uint8_t>& request, std::vector<std::uint8_t>& reply)>
        seal;
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
    std::string m_address;
    std::int32_t m_port;
    int m_requests = 0;
};

}  // namespace korvel::test
