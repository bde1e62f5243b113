#pragma once

#include <winsock2.h>

#include <cstdint>
#include <memory>

#include "platform/held_datagram.h"
#include "platform/udp_socket.h"
#include "platform/win32/win32_message_window.h"

namespace korvel {

// A Winsock UDP socket (one IPv6 socket that also carries IPv4) connected to the server, so the
// system drops datagrams from anyone else. Readiness comes as a message to the message window
// (WSAAsyncSelect) and names are looked up on a thread of their own that answers by message,
// so every handler runs on the window's thread.
class Win32UdpSocket final : public UdpSocket {
public:
    explicit Win32UdpSocket(MessageWindow& window);
    ~Win32UdpSocket() override;

    bool bind(std::int32_t localPort) override;
    void close() override;
    std::int32_t localPort() const override;
    void connectTo(const std::string& host, std::int32_t port,
                   std::function<void(ConnectOutcome)> done) override;
    bool send(std::span<const std::uint8_t> datagram) override;
    void setArrivalHandler(std::function<void(std::int32_t byteCount)> handler) override;
    std::int32_t read(std::span<std::uint8_t> buffer) override;

    struct LookUp;

private:
    void receiveOne();
    void finishLookUp();

    MessageWindow& m_window;
    UINT m_readyMessage = 0;
    UINT m_lookedUpMessage = 0;
    SOCKET m_socket = INVALID_SOCKET;
    bool m_dualStack = false;
    bool m_connected = false;
    std::shared_ptr<LookUp> m_lookUp;
    std::function<void(std::int32_t)> m_handler;
    HeldDatagram m_datagram;
};

}  // namespace korvel
