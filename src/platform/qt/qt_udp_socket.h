#pragma once

#include <sys/socket.h>

#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <optional>
#include <vector>

#include "platform/held_datagram.h"
#include "platform/udp_socket.h"

namespace korvel {

// The program's socket: a system UDP socket watched by Qt's event loop, names looked up by
// QHostInfo on its own threads, address literals taken as they are. With one server the socket
// is connected to it; with several it is a fresh unconnected socket on the same port, and each
// datagram's source is compared with the servers found. Every datagram is taken from the
// system, with the kernel's stamp of its arrival (SO_TIMESTAMPNS), before the arrival handler
// runs, so one the handler does not read is simply dropped.
class QtUdpSocket final : public UdpSocket {
public:
    QtUdpSocket();
    ~QtUdpSocket() override;

    bool bind(std::int32_t localPort) override;
    void close() override;
    std::int32_t localPort() const override;
    void setServers(const std::vector<std::string>& hosts, const std::vector<std::int32_t>& ports,
                    std::function<void(int server, ConnectOutcome)> done) override;
    void keepFirstServer() override;
    std::string addressOf(int server) const override;
    std::vector<std::string> addressesOf(int server) const override;
    int addServer(const std::string& address, std::int32_t port) override;
    SentDatagram send(int server, std::span<const std::uint8_t> datagram) override;
    void setArrivalHandler(ArrivalHandler handler) override;
    std::int32_t read(std::span<std::uint8_t> buffer) override;

    // A server's address and port as the socket writes them: IPv4 as v4-mapped IPv6 on a
    // dual-stack socket.
    struct Peer {
        sockaddr_storage address{};
        socklen_t size = 0;
    };

private:
    using Done = std::function<void(int server, ConnectOutcome)>;
    void found(int server, QList<QHostAddress> addresses, quint16 port, const Done& done);
    void adopt(int fd, bool dualStack);
    void forgetServers();
    bool connectSocket(const Peer& peer);
    void leaveServer();
    int serverOf(const sockaddr_storage& source) const;
    void deliverWaiting();

    int m_fd = -1;
    bool m_dualStack = false;
    bool m_connected = false;  // to the only server
    std::vector<std::optional<Peer>> m_servers;
    // Each server's addresses, as addressesOf gives them.
    std::vector<std::vector<std::string>> m_addresses;

    // Answers of look-ups older than the current set are dropped; none come after the socket.
    unsigned m_generation = 0;
    std::vector<int> m_lookUpIds;
    QObject m_lookUpContext;
    std::unique_ptr<QSocketNotifier> m_notifier;
    ArrivalHandler m_handler;
    HeldDatagram m_datagram;
};

}  // namespace korvel
