#include "support/fake_network.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/utf8_text.h"

namespace korvel::test {

constexpr double kUnixToNtpSeconds = 2208988800.0;

bool FakeUdpSocket::bind(std::int32_t localPort) {
    if (localPort < 0 || localPort > 65535 || portsInUse.contains(localPort) ||
        (localPort != 0 && localPort == m_localPort)) {
        return false;
    }
    close();
    m_localPort = localPort == 0 ? 49152 : localPort;
    return true;
}

void FakeUdpSocket::close() {
    m_localPort = 0;
    m_hosts.clear();
    m_found.clear();
    ++m_lookUpTicket;
}

void FakeUdpSocket::setServers(const std::vector<std::string>& hosts,
                               const std::vector<std::int32_t>& ports,
                               std::function<void(int, ConnectOutcome)> done) {
    m_hosts.assign(hosts.size(), {});
    m_found.assign(hosts.size(), {});
    const int ticket = ++m_lookUpTicket;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        ++lookUps;
        const std::string host = trimBlanks(hosts[i]);
        const auto given = lookUpOutcomeOf.find(host);
        const ConnectOutcome outcome = m_localPort == 0 ? ConnectOutcome::NetworkUnreachable
                                       : given != lookUpOutcomeOf.end() ? given->second
                                                                        : lookUpOutcome;
        m_time.schedule(lookUpDelayMs, [this, ticket, i, host, port = ports.at(i), outcome, done] {
            if (ticket != m_lookUpTicket) {
                return;
            }
            if (outcome == ConnectOutcome::Connected) {
                const auto named = addressesOfName.find(host);
                m_found[i] = named == addressesOfName.end() ? std::vector{host} : named->second;
                m_hosts[i] = {m_found[i].front(), port};
            }
            done(static_cast<int>(i), outcome);
        });
    }
}

void FakeUdpSocket::keepFirstServer() {
    ++m_lookUpTicket;
    m_hosts.resize(std::min<std::size_t>(m_hosts.size(), 1));
    m_found.resize(m_hosts.size());
}

std::string FakeUdpSocket::addressOf(int server) const {
    const std::vector<std::string> all = addressesOf(server);
    return all.empty() ? std::string() : all.front();
}

std::vector<std::string> FakeUdpSocket::addressesOf(int server) const {
    return server >= 0 && static_cast<std::size_t>(server) < m_found.size()
               ? m_found[static_cast<std::size_t>(server)]
               : std::vector<std::string>();
}

int FakeUdpSocket::addServer(const std::string& address, std::int32_t port) {
    if (m_localPort == 0 || std::ranges::find(m_hosts, Endpoint{address, port}) != m_hosts.end()) {
        return -1;
    }
    m_hosts.emplace_back(address, port);
    m_found.push_back({address});
    return static_cast<int>(m_hosts.size()) - 1;
}

SentDatagram FakeUdpSocket::send(int server, std::span<const std::uint8_t> datagram) {
    if (server < 0 || static_cast<std::size_t>(server) >= m_hosts.size() ||
        m_hosts[static_cast<std::size_t>(server)].first.empty()) {
        return {};
    }
    m_time.pass(sendLateMs);
    m_sent.emplace_back(datagram.begin(), datagram.end());
    if (const auto to = onSendTo.find(m_hosts[static_cast<std::size_t>(server)]);
        to != onSendTo.end()) {
        to->second(m_sent.back());
    }
    return {true, leftStampErrorMs ? std::optional((m_time.utcMs() + *leftStampErrorMs) * 1'000'000)
                                   : std::nullopt};
}

std::int32_t FakeUdpSocket::read(std::span<std::uint8_t> buffer) {
    if (!m_waiting) {
        return -1;
    }
    const std::size_t count = std::min(buffer.size(), m_waiting->size());
    std::copy_n(m_waiting->begin(), count, buffer.begin());
    m_waiting.reset();
    return static_cast<std::int32_t>(count);
}

void FakeUdpSocket::deliver(std::vector<std::uint8_t> bytes, std::string fromHost,
                            std::int32_t fromPort, std::int64_t afterMs) {
    m_time.schedule(afterMs, [this, bytes = std::move(bytes), fromHost, fromPort] {
        const auto stamp = stampErrorMs
                               ? std::optional((m_time.utcMs() + *stampErrorMs) * 1'000'000)
                               : std::nullopt;
        m_time.schedule(handlerLateMs, [this, bytes, fromHost, fromPort, stamp] {
            const auto from = std::ranges::find(m_hosts, Endpoint{fromHost, fromPort});
            if (from == m_hosts.end() || !m_handler) {
                return;
            }
            m_waiting = bytes;
            m_handler(static_cast<std::int32_t>(bytes.size()),
                      static_cast<int>(from - m_hosts.begin()), stamp);
            m_waiting.reset();
        });
    });
}

FakeSntpServer::FakeSntpServer(VirtualTime& time, FakeUdpSocket& socket, std::string address,
                               std::int32_t port)
    : m_time(time), m_socket(socket), m_address(std::move(address)), m_port(port) {
    m_socket.onSendTo[{m_address, m_port}] = [this](const std::vector<std::uint8_t>& request) {
        answer(request);
    };
}

std::vector<std::uint8_t> FakeSntpServer::reply(const std::vector<std::uint8_t>& request,
                                                double serverMs) {
    std::vector<std::uint8_t> bytes(48, 0);
    bytes[0] = 0x24;  // leap 0, version 4, server
    bytes[1] = 2;
    bytes[2] = request[2];
    bytes[3] = 0xEC;
    std::memcpy(&bytes[12], "GPS\0", 4);
    // Reference, receive and transmit times, as NTP seconds and 32-bit fraction.
    for (const auto& [at, ms] : {std::pair{16, serverMs - 60000}, {32, serverMs}, {40, serverMs}}) {
        const double ntp = ms / 1000.0 + kUnixToNtpSeconds;
        const double whole = std::floor(ntp);
        const auto fraction = static_cast<std::uint64_t>(std::floor((ntp - whole) * 4294967296.0));
        const std::uint64_t stamp = (static_cast<std::uint64_t>(whole) << 32) | fraction;
        for (std::size_t i = 0; i < 8; ++i) {
            bytes[static_cast<std::size_t>(at) + i] =
                static_cast<std::uint8_t>(stamp >> (56 - 8 * i));
        }
    }
    std::copy_n(request.begin() + 40, 8, bytes.begin() + 24);  // originate
    return bytes;
}

void FakeSntpServer::answer(const std::vector<std::uint8_t>& request) {
    const int n = ++m_requests;
    if (drop && drop(n)) {
        return;
    }
    m_time.schedule(kRequestDelayMs, [this, request, n] {
        std::vector<std::uint8_t> bytes =
            reply(request, static_cast<double>(m_time.utcMs()) + offsetMs);
        if (seal) {
            seal(request, bytes);
        }
        if (tamper) {
            tamper(n, bytes);
        }
        m_socket.deliver(std::move(bytes), m_address, m_port, replyDelayMs);
    });
}

}  // namespace korvel::test
