#pragma once

#include <QHostAddress>
#include <QUdpSocket>
#include <memory>
#include <vector>

#include "platform/udp_socket.h"

namespace korvel {

// The program's socket on QUdpSocket. Each waiting datagram is taken from the system before
// the arrival handler runs, so one the handler does not read is simply dropped.
class QtUdpSocket final : public UdpSocket {
public:
    QtUdpSocket();

    void setRemoteHost(const std::string& host) override;
    void setRemotePort(std::int32_t port) override;
    bool bind(std::int32_t localPort) override;
    void close() override;
    std::int32_t localPort() const override;
    bool send(std::span<const std::uint8_t> datagram) override;
    void setArrivalHandler(std::function<void(std::int32_t)> handler) override;
    std::int32_t read(std::span<std::uint8_t> buffer, DatagramSource& source) override;

private:
    void deliverWaiting();

    std::unique_ptr<QUdpSocket> m_socket = std::make_unique<QUdpSocket>();
    QHostAddress m_remoteAddress;
    quint16 m_remotePort = 0;
    std::function<void(std::int32_t)> m_handler;
    std::vector<char> m_datagram;
    qint64 m_datagramSize = -1;  // -1: nothing waiting for the handler
    bool m_datagramFromRemote = false;
};

}  // namespace korvel
