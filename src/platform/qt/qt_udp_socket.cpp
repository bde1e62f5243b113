#include "platform/qt/qt_udp_socket.h"

#include <arpa/inet.h>
#include <linux/net_tstamp.h>
#include <netinet/in.h>
#include <unistd.h>

#include <QHostInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace korvel {

namespace {

using Peer = QtUdpSocket::Peer;

// The address as the socket's family writes it: IPv4 becomes v4-mapped on a dual-stack socket.
std::optional<Peer> socketAddress(const QHostAddress& address, quint16 port, bool dualStack) {
    Peer peer;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4 && !dualStack) {
        auto& in = reinterpret_cast<sockaddr_in&>(peer.address);
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        in.sin_addr.s_addr = htonl(v4);
        peer.size = sizeof in;
        return peer;
    }
    if (!dualStack) {
        return std::nullopt;
    }
    auto& in6 = reinterpret_cast<sockaddr_in6&>(peer.address);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(port);
    const Q_IPV6ADDR bytes = isV4 ? QHostAddress(v4).toIPv6Address() : address.toIPv6Address();
    std::memcpy(&in6.sin6_addr, bytes.c, sizeof in6.sin6_addr);
    in6.sin6_scope_id = address.scopeId().toUInt();
    peer.size = sizeof in6;
    return peer;
}

// The address as addressOf writes it: IPv4 dotted, also where it is v4-mapped.
std::string addressText(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return (isV4 ? QHostAddress(v4) : address).toString().toStdString();
}

// An address and port as compared: the IPv6 address (IPv4 as v4-mapped, so both forms of one
// address are equal), then the port.
std::array<std::uint8_t, 18> endpointOf(const sockaddr_storage& address) {
    std::array<std::uint8_t, 18> endpoint{};
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        std::memcpy(endpoint.data(), &in6.sin6_addr, 16);
        std::memcpy(endpoint.data() + 16, &in6.sin6_port, 2);
    } else if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        endpoint[10] = endpoint[11] = 0xFF;
        std::memcpy(endpoint.data() + 12, &in.sin_addr, 4);
        std::memcpy(endpoint.data() + 16, &in.sin_port, 2);
    }
    return endpoint;
}

// Whether the system has a route to the peer: a throwaway socket is connected to it, which
// sends nothing.
bool routable(const Peer& peer) {
    const int probe = ::socket(peer.address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return false;
    }
    const int off = 0;
    ::setsockopt(probe, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    const bool routed =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&peer.address), peer.size) == 0;
    ::close(probe);
    return routed;
}

// A fresh socket bound to the port: one IPv6 socket that also carries IPv4, or a plain IPv4
// one where the system has no IPv6. -1 when the port cannot be used.
int openBound(std::uint16_t port, bool& dualStack) {
    int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    dualStack = fd >= 0;
    int result = -1;
    if (dualStack) {
        const int off = 0;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_port = htons(port);
        any.sin6_addr = in6addr_any;
        result = ::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    } else {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(port);
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        result = fd < 0 ? -1 : ::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    }
    if (result != 0 && fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    // Each datagram comes with the time it reached the host, and each one sent leaves its
    // time of leaving on the error queue; where the system gives none, the handler reads the
    // clock itself.
    const int on = 1;
    const int leaving =
        SOF_TIMESTAMPING_TX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE | SOF_TIMESTAMPING_OPT_TSONLY;
    if (fd >= 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPING, &leaving, sizeof leaving);
    }
    return fd;
}

// Ancillary room for an arrival stamp and a leaving stamp (three times, the first software).
using StampRoom = std::array<char, CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(3 * sizeof(timespec))>;

std::int64_t nanosecondsOf(const timespec& stamp) {
    return static_cast<std::int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
}

// Empties the error queue, returning the last leaving stamp on it. Left there, its entries
// would keep the socket readable.
std::optional<std::int64_t> drainLeavingStamps(int fd) {
    std::optional<std::int64_t> last;
    for (;;) {
        alignas(cmsghdr) StampRoom control{};
        msghdr message{};
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
            return last;
        }
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPING &&
                c->cmsg_len >= CMSG_LEN(3 * sizeof(timespec))) {
                timespec stamps[3]{};
                std::memcpy(stamps, CMSG_DATA(c), sizeof stamps);
                if (stamps[0].tv_sec != 0 || stamps[0].tv_nsec != 0) {
                    last = nanosecondsOf(stamps[0]);
                }
            }
        }
    }
}

// The system's arrival stamp among a received datagram's ancillary data.
std::optional<std::int64_t> arrivalStamp(msghdr& message) {
    if ((message.msg_flags & MSG_CTRUNC) != 0) {
        return std::nullopt;
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS &&
            c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            return nanosecondsOf(stamp);
        }
    }
    return std::nullopt;
}

std::uint16_t boundPort(int fd) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    return address.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port)
               : ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

}  // namespace

QtUdpSocket::QtUdpSocket() = default;

QtUdpSocket::~QtUdpSocket() {
    close();
}

bool QtUdpSocket::bind(std::int32_t localPort) {
    if (localPort < 0 || localPort > 65535) {
        return false;
    }
    // A fresh socket: the one in use keeps its port until the new one is bound.
    bool dualStack = false;
    const int fd = openBound(static_cast<std::uint16_t>(localPort), dualStack);
    if (fd < 0) {
        return false;
    }
    close();
    adopt(fd, dualStack);
    return true;
}

void QtUdpSocket::adopt(int fd, bool dualStack) {
    m_fd = fd;
    m_dualStack = dualStack;
    m_connected = false;
    if (fd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated,
                         [this] { deliverWaiting(); });
    }
}

void QtUdpSocket::close() {
    forgetServers();
    m_notifier.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    adopt(-1, false);
    m_datagram.drop();
}

std::int32_t QtUdpSocket::localPort() const {
    return boundPort(m_fd);
}

void QtUdpSocket::forgetServers() {
    ++m_generation;
    for (const int id : m_lookUpIds) {
        QHostInfo::abortHostLookup(id);
    }
    m_lookUpIds.clear();
    m_servers.clear();
    m_addresses.clear();
}

bool QtUdpSocket::connectSocket(const Peer& peer) {
    if (m_fd >= 0 &&
        ::connect(m_fd, reinterpret_cast<const sockaddr*>(&peer.address), peer.size) == 0) {
        m_connected = true;
        return true;
    }
    // A failed connect may leave the socket connected to the server before.
    leaveServer();
    return false;
}

void QtUdpSocket::leaveServer() {
    // A fresh socket on the same port. Connecting to AF_UNSPEC disconnects on Linux, but under
    // gVisor a dual-stack socket once connected to an IPv4 server stays deaf to IPv6 after it.
    if (!m_connected) {
        return;
    }
    const std::uint16_t port = boundPort(m_fd);
    m_notifier.reset();
    ::close(m_fd);
    bool dualStack = false;
    const int fd = openBound(port, dualStack);
    adopt(fd, dualStack);
}

void QtUdpSocket::setServers(const std::vector<std::string>& hosts,
                             const std::vector<std::int32_t>& ports, Done done) {
    forgetServers();
    leaveServer();
    m_servers.resize(hosts.size());
    m_addresses.resize(hosts.size());
    const auto shared = std::make_shared<Done>(std::move(done));
    for (int server = 0; server < static_cast<int>(hosts.size()); ++server) {
        const auto answer = [this, server, port = static_cast<quint16>(ports.at(server)), shared,
                             generation = m_generation](QList<QHostAddress> addresses) {
            if (generation == m_generation) {
                found(server, std::move(addresses), port, *shared);
            }
        };
        const QString name = QString::fromStdString(hosts[server]).trimmed();
        // An address is never asked of a name server, which might not answer (Qt's look-up of
        // one waits for the reverse look-up); its answer still comes through the event loop,
        // never inside this call.
        if (QHostAddress literal; literal.setAddress(name)) {
            QMetaObject::invokeMethod(
                &m_lookUpContext, [answer, literal] { answer({literal}); }, Qt::QueuedConnection);
            continue;
        }
        m_lookUpIds.push_back(
            QHostInfo::lookupHost(name, &m_lookUpContext, [answer](const QHostInfo& info) {
                answer(info.error() == QHostInfo::NoError ? info.addresses()
                                                          : QList<QHostAddress>{});
            }));
    }
}

void QtUdpSocket::found(int server, QList<QHostAddress> addresses, quint16 port, const Done& done) {
    if (addresses.isEmpty()) {
        done(server, ConnectOutcome::NameNotResolved);
        return;
    }
    std::stable_partition(addresses.begin(), addresses.end(), [](const QHostAddress& a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    const std::optional<Peer> peer =
        m_fd < 0 ? std::nullopt : socketAddress(addresses.front(), port, m_dualStack);
    // One server: the system filters for it. Several: the socket stays unconnected.
    const bool reachable = peer && (m_servers.size() == 1 ? connectSocket(*peer) : routable(*peer));
    if (reachable) {
        for (const QHostAddress& address : addresses) {
            const std::string text = addressText(address);
            if (std::ranges::find(m_addresses[server], text) == m_addresses[server].end()) {
                m_addresses[server].push_back(text);
            }
        }
        m_servers[server] = peer;
    }
    done(server, reachable ? ConnectOutcome::Connected : ConnectOutcome::NetworkUnreachable);
}

std::string QtUdpSocket::addressOf(int server) const {
    const std::vector<std::string> all = addressesOf(server);
    return all.empty() ? std::string() : all.front();
}

std::vector<std::string> QtUdpSocket::addressesOf(int server) const {
    return server >= 0 && server < static_cast<int>(m_addresses.size())
               ? m_addresses[server]
               : std::vector<std::string>();
}

int QtUdpSocket::addServer(const std::string& address, std::int32_t port) {
    QHostAddress literal;
    if (m_fd < 0 || !literal.setAddress(QString::fromStdString(address))) {
        return -1;
    }
    const std::optional<Peer> peer =
        socketAddress(literal, static_cast<quint16>(port), m_dualStack);
    if (!peer || serverOf(peer->address) >= 0 || !routable(*peer)) {
        return -1;
    }
    // Datagrams from the new server too: the socket connected to the first one would drop them.
    leaveServer();
    m_servers.push_back(peer);
    m_addresses.push_back({addressText(literal)});
    return static_cast<int>(m_servers.size()) - 1;
}

void QtUdpSocket::keepFirstServer() {
    const std::optional<Peer> first = m_servers.empty() ? std::nullopt : m_servers.front();
    const std::vector<std::string> firstAddress =
        m_addresses.empty() ? std::vector<std::string>() : m_addresses.front();
    forgetServers();
    if (!first) {
        leaveServer();
    } else if (connectSocket(*first)) {
        m_servers.push_back(first);
        m_addresses.push_back(firstAddress);
    }
}

SentDatagram QtUdpSocket::send(int server, std::span<const std::uint8_t> datagram) {
    if (server < 0 || server >= static_cast<int>(m_servers.size()) || !m_servers[server]) {
        return {};
    }
    drainLeavingStamps(m_fd);  // an earlier datagram's stamp that came late
    const Peer& peer = *m_servers[server];
    const ssize_t sent =
        m_connected ? ::send(m_fd, datagram.data(), datagram.size(), MSG_NOSIGNAL)
                    : ::sendto(m_fd, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&peer.address), peer.size);
    if (sent != static_cast<ssize_t>(datagram.size())) {
        return {};
    }
    // The stamp is taken as the datagram goes to the device, usually before send returns;
    // one that comes later is left for the handler's reading.
    return {true, drainLeavingStamps(m_fd)};
}

void QtUdpSocket::setArrivalHandler(ArrivalHandler handler) {
    m_handler = std::move(handler);
}

std::int32_t QtUdpSocket::read(std::span<std::uint8_t> buffer) {
    return m_datagram.read(buffer);
}

int QtUdpSocket::serverOf(const sockaddr_storage& source) const {
    const auto endpoint = endpointOf(source);
    for (std::size_t server = 0; server < m_servers.size(); ++server) {
        if (m_servers[server] && endpointOf(m_servers[server]->address) == endpoint) {
            return static_cast<int>(server);
        }
    }
    return -1;
}

void QtUdpSocket::deliverWaiting() {
    // The handler may close the socket; stop as soon as it has.
    while (m_fd >= 0) {
        const std::span<std::uint8_t> into = m_datagram.buffer();
        iovec vector{into.data(), into.size()};
        sockaddr_storage source{};
        alignas(cmsghdr) StampRoom control{};
        msghdr message{};
        message.msg_name = &source;
        message.msg_namelen = sizeof source;
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const ssize_t size = ::recvmsg(m_fd, &message, MSG_TRUNC);
        if (size < 0) {
            const int error = errno;  // the drain below sets errno again
            drainLeavingStamps(m_fd);
            // Nothing left, or an error such as an ICMP port unreachable: the socket stays
            // usable.
            if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) {
                return;
            }
            continue;
        }
        // Checked even when connected: a datagram may have waited since before the connect.
        const int server = serverOf(source);
        if (server < 0 || !m_handler) {
            continue;
        }
        const std::optional<std::int64_t> received = arrivalStamp(message);
        m_datagram.deliver(static_cast<std::int32_t>(size),
                           [&](std::int32_t byteCount) { m_handler(byteCount, server, received); });
    }
}

}  // namespace korvel
