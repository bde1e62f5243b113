#pragma once

#include <winsock2.h>

#include <cstdint>
#include <vector>

#include "platform/udp_socket.h"
#include "platform/win32/win32_message_window.h"

namespace korvel {

// A Winsock UDP socket connected to the server, so the system drops datagrams from anyone
// else. Readiness comes as a message to the message window (WSAAsyncSelect), and the arrival
// handler runs from there, one datagram per message.
class Win32UdpSocket final : public UdpSocket {
public:
    explicit Win32UdpSocket(MessageWindow& window);
    ~Win32UdpSocket() override;

    void setRemoteHost(const std::string& host) override;
    void setRemotePort(std::int32_t port) override;
    bool bind(std::int32_t localPort) override;
    void close() override;
    std::int32_t localPort() const override;
    bool send(std::span<const std::uint8_t> datagram) override;
    void setArrivalHandler(std::function<void(std::int32_t byteCount)> handler) override;
    std::int32_t read(std::span<std::uint8_t> buffer, DatagramSource& source) override;

private:
    void receiveOne(SOCKET socket);
    bool connectToRemote();

    MessageWindow& m_window;
    UINT m_readyMessage = 0;
    SOCKET m_socket = INVALID_SOCKET;
    sockaddr_in m_remote{};
    bool m_remoteKnown = false;
    bool m_connected = false;
    std::function<void(std::int32_t)> m_handler;
    std::vector<std::uint8_t> m_datagram;
    std::int32_t m_datagramSize = -1;
};

}  // namespace korvel
