#include "platform/qt/qt_udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostInfo>
#include <cerrno>
#include <cstring>

namespace korvel {

namespace {

// An address as the socket's family writes it: IPv4 becomes v4-mapped on a dual-stack socket.
bool socketAddress(const QHostAddress& address, quint16 port, bool dualStack, sockaddr_storage& out,
                   socklen_t& size) {
    std::memset(&out, 0, sizeof out);
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4 && !dualStack) {
        auto& in = reinterpret_cast<sockaddr_in&>(out);
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        in.sin_addr.s_addr = htonl(v4);
        size = sizeof in;
        return true;
    }
    if (!dualStack) {
        return false;
    }
    auto& in6 = reinterpret_cast<sockaddr_in6&>(out);
    in6.sin6_family = AF_INET6;
    in6.sin6_port = htons(port);
    const Q_IPV6ADDR bytes = isV4 ? QHostAddress(v4).toIPv6Address() : address.toIPv6Address();
    std::memcpy(&in6.sin6_addr, bytes.c, sizeof in6.sin6_addr);
    in6.sin6_scope_id = address.scopeId().toUInt();
    size = sizeof in6;
    return true;
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
    const auto port = htons(static_cast<std::uint16_t>(localPort));
    // A fresh socket: the one in use keeps its port until the new one is bound. One IPv6
    // socket that also carries IPv4; a plain IPv4 one where the system has no IPv6.
    int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const bool dualStack = fd >= 0;
    int result = -1;
    if (dualStack) {
        const int off = 0;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_port = port;
        any.sin6_addr = in6addr_any;
        result = ::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    } else {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = port;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        result = fd < 0 ? -1 : ::bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    }
    if (result != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    close();
    m_fd = fd;
    m_dualStack = dualStack;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { deliverWaiting(); });
    return true;
}

void QtUdpSocket::close() {
    abortLookUp();
    m_notifier.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_connected = false;
}

std::int32_t QtUdpSocket::localPort() const {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    return address.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port)
               : ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

void QtUdpSocket::abortLookUp() {
    if (m_lookUpId >= 0) {
        QHostInfo::abortHostLookup(m_lookUpId);
        m_lookUpId = -1;
    }
}

void QtUdpSocket::connectTo(const std::string& host, std::int32_t port,
                            std::function<void(ConnectOutcome)> done) {
    abortLookUp();
    m_connected = false;
    const QString name = QString::fromStdString(host).trimmed();
    // The look-up answers through the event loop even for an address, so done never runs
    // inside this call.
    m_lookUpId = QHostInfo::lookupHost(
        name, &m_lookUpContext, [this, port, done = std::move(done)](const QHostInfo& info) {
            m_lookUpId = -1;
            QList<QHostAddress> addresses = info.addresses();
            if (info.error() != QHostInfo::NoError || addresses.isEmpty()) {
                done(ConnectOutcome::NameNotResolved);
                return;
            }
            std::stable_partition(addresses.begin(), addresses.end(), [](const QHostAddress& a) {
                return a.protocol() == QAbstractSocket::IPv4Protocol;
            });
            sockaddr_storage to{};
            socklen_t size = 0;
            const bool fits =
                m_fd >= 0 &&
                socketAddress(addresses.front(), static_cast<quint16>(port), m_dualStack, to, size);
            m_connected = fits && ::connect(m_fd, reinterpret_cast<sockaddr*>(&to), size) == 0;
            done(m_connected ? ConnectOutcome::Connected : ConnectOutcome::NetworkUnreachable);
        });
}

bool QtUdpSocket::send(std::span<const std::uint8_t> datagram) {
    if (!m_connected) {
        return false;
    }
    return ::send(m_fd, datagram.data(), datagram.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(datagram.size());
}

void QtUdpSocket::setArrivalHandler(std::function<void(std::int32_t)> handler) {
    m_handler = std::move(handler);
}

std::int32_t QtUdpSocket::read(std::span<std::uint8_t> buffer) {
    return m_datagram.read(buffer);
}

void QtUdpSocket::deliverWaiting() {
    // The handler may close the socket; stop as soon as it has.
    while (m_fd >= 0) {
        const std::span<std::uint8_t> into = m_datagram.buffer();
        const ssize_t size = ::recv(m_fd, into.data(), into.size(), MSG_TRUNC);
        if (size < 0) {
            // Nothing left, or an error such as an ICMP port unreachable: the socket stays
            // usable.
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                return;
            }
            continue;
        }
        // Before the socket is connected, anyone may send to its port.
        if (!m_connected || !m_handler) {
            continue;
        }
        m_datagram.deliver(static_cast<std::int32_t>(size), m_handler);
    }
}

}  // namespace korvel
