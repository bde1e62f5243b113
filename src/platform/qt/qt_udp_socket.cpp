#include "platform/qt/qt_udp_socket.h"

#include <QHostInfo>
#include <algorithm>
#include <cstring>

namespace korvel {

namespace {

constexpr qint64 kLargestDatagram = 65536;

bool sameAddress(const QHostAddress& a, const QHostAddress& b) {
    return a.isEqual(b, QHostAddress::TolerantConversion);
}

}  // namespace

QtUdpSocket::QtUdpSocket() : m_datagram(kLargestDatagram) {}

void QtUdpSocket::setRemoteHost(const std::string& host) {
    const QString name = QString::fromStdString(host).trimmed();
    m_remoteAddress = QHostAddress();
    if (m_remoteAddress.setAddress(name)) {
        return;
    }
    // A host name: resolved once here, not on every request.
    const QHostInfo info = QHostInfo::fromName(name);
    for (const QHostAddress& address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            m_remoteAddress = address;
            return;
        }
    }
}

void QtUdpSocket::setRemotePort(std::int32_t port) {
    m_remotePort = static_cast<quint16>(port);
}

bool QtUdpSocket::bind(std::int32_t localPort) {
    if (localPort < 0 || localPort > 65535) {
        return false;
    }
    // No address sharing: a port another program holds must be reported, not shared.
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress::AnyIPv4, static_cast<quint16>(localPort),
                      QAbstractSocket::DontShareAddress)) {
        return false;
    }
    QObject::connect(socket.get(), &QUdpSocket::readyRead, [this] { deliverWaiting(); });
    m_socket = std::move(socket);
    return true;
}

void QtUdpSocket::close() {
    m_socket->close();
}

std::int32_t QtUdpSocket::localPort() const {
    return m_socket->localPort();
}

bool QtUdpSocket::send(std::span<const std::uint8_t> datagram) {
    if (m_remoteAddress.isNull() || m_socket->state() != QAbstractSocket::BoundState) {
        return false;
    }
    return m_socket->writeDatagram(reinterpret_cast<const char*>(datagram.data()),
                                   static_cast<qint64>(datagram.size()), m_remoteAddress,
                                   m_remotePort) == static_cast<qint64>(datagram.size());
}

void QtUdpSocket::setArrivalHandler(std::function<void(std::int32_t)> handler) {
    m_handler = std::move(handler);
}

std::int32_t QtUdpSocket::read(std::span<std::uint8_t> buffer, DatagramSource& source) {
    if (m_datagramSize < 0) {
        return -1;
    }
    const auto count =
        std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(m_datagramSize));
    std::memcpy(buffer.data(), m_datagram.data(), count);
    source.fromRemote = m_datagramFromRemote;
    m_datagramSize = -1;
    return static_cast<std::int32_t>(count);
}

void QtUdpSocket::deliverWaiting() {
    while (m_socket->hasPendingDatagrams()) {
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 size =
            m_socket->readDatagram(m_datagram.data(), kLargestDatagram, &sender, &senderPort);
        if (size < 0) {
            // An error such as an ICMP port unreachable: the socket stays usable.
            break;
        }
        m_datagramSize = size;
        m_datagramFromRemote = senderPort == m_remotePort && sameAddress(sender, m_remoteAddress);
        if (m_handler) {
            m_handler(static_cast<std::int32_t>(size));
        }
        m_datagramSize = -1;
    }
}

}  // namespace korvel
