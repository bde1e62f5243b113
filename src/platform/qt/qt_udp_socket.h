#pragma once

#include <QSocketNotifier>
#include <memory>

#include "platform/held_datagram.h"
#include "platform/udp_socket.h"

namespace korvel {

// The program's socket: a system UDP socket watched by Qt's event loop, names looked up by
// QHostInfo on its own threads. Each waiting datagram is taken from the system before the
// arrival handler runs, so one the handler does not read is simply dropped.
class QtUdpSocket final : public UdpSocket {
public:
    QtUdpSocket();
    ~QtUdpSocket() override;

    bool bind(std::int32_t localPort) override;
    void close() override;
    std::int32_t localPort() const override;
    void connectTo(const std::string& host, std::int32_t port,
                   std::function<void(ConnectOutcome)> done) override;
    bool send(std::span<const std::uint8_t> datagram) override;
    void setArrivalHandler(std::function<void(std::int32_t)> handler) override;
    std::int32_t read(std::span<std::uint8_t> buffer) override;

private:
    void deliverWaiting();
    void abortLookUp();

    int m_fd = -1;
    bool m_dualStack = false;
    bool m_connected = false;
    int m_lookUpId = -1;
    QObject m_lookUpContext;  // answers of a look-up go with the socket
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void(std::int32_t)> m_handler;
    HeldDatagram m_datagram;
};

}  // namespace korvel
