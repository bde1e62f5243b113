#pragma once

#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/held_datagram.h"
#include "platform/udp_socket.h"
#include "platform/win32/win32_message_window.h"

namespace korvel {

// A Winsock UDP socket (one IPv6 socket that also carries IPv4). With one server it is
// connected to it, so the system drops datagrams from anyone else; with several it is a fresh
// unconnected socket on the same port, and each datagram's source is compared with the servers
// found. Readiness comes as a message to the message window (WSAAsyncSelect); address literals
// are taken as they are (getaddrinfo with AI_NUMERICHOST, which asks no name server) and names
// are looked up on threads of their own that answer by message, so every handler runs on the
// window's thread.
class Win32UdpSocket final : public UdpSocket {
public:
    explicit Win32UdpSocket(MessageWindow& window);
    ~Win32UdpSocket() override;

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

    struct LookUp;
    // A server's address and port as the socket writes them: IPv4 as v4-mapped IPv6 on a
    // dual-stack socket.
    struct Peer {
        sockaddr_storage address{};
        int size = 0;
    };

private:
    bool adopt(SOCKET socket, bool dualStack);
    void forgetServers();
    bool connectSocket(const Peer& peer);
    void leaveServer();
    void found(const LookUp& lookUp);
    int serverOf(const sockaddr_storage& source) const;
    void receiveOne();

    MessageWindow& m_window;
    UINT m_readyMessage = 0;
    UINT m_lookedUpMessage = 0;
    SOCKET m_socket = INVALID_SOCKET;
    bool m_dualStack = false;
    bool m_connected = false;  // to the only server
    std::vector<std::optional<Peer>> m_servers;
    // Each server's addresses, as addressesOf gives them.
    std::vector<std::vector<std::string>> m_addresses;
    // Pending look-ups, each known by a number its answer carries, so an answer for one that
    // was cancelled finds nothing.
    std::vector<std::shared_ptr<LookUp>> m_lookUps;
    WPARAM m_nextLookUp = 1;
    ArrivalHandler m_handler;
    HeldDatagram m_datagram;
};

}  // namespace korvel
