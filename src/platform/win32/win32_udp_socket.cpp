#include "platform/win32/win32_udp_socket.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

#include "common/utf8_text.h"

namespace korvel {

namespace {

constexpr std::size_t kLargestDatagram = 65536;

}  // namespace

Win32UdpSocket::Win32UdpSocket(MessageWindow& window)
    : m_window(window), m_datagram(kLargestDatagram) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_readyMessage = m_window.newMessage();
    m_window.handle(m_readyMessage, [this](WPARAM socket, LPARAM event) {
        // A message may still be queued for a socket closed since.
        if (static_cast<SOCKET>(socket) == m_socket && WSAGETSELECTEVENT(event) == FD_READ) {
            receiveOne(m_socket);
        }
    });
}

Win32UdpSocket::~Win32UdpSocket() {
    close();
    m_window.handle(m_readyMessage, nullptr);
    WSACleanup();
}

void Win32UdpSocket::setRemoteHost(const std::string& host) {
    m_remoteKnown = false;
    m_connected = false;
    const std::string name = trimBlanks(host);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    // A host name is resolved once here, not on every request.
    if (name.empty() || getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) {
        return;
    }
    const u_short port = m_remote.sin_port;
    std::memcpy(&m_remote, found->ai_addr, sizeof m_remote);
    m_remote.sin_port = port;
    m_remoteKnown = true;
    freeaddrinfo(found);
}

void Win32UdpSocket::setRemotePort(std::int32_t port) {
    m_remote.sin_port = htons(static_cast<u_short>(port));
    m_connected = false;
}

bool Win32UdpSocket::bind(std::int32_t localPort) {
    close();
    if (localPort < 0 || localPort > 65535) {
        return false;
    }
    m_socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (m_socket == INVALID_SOCKET) {
        return false;
    }
    // No address sharing: a port another program holds must be reported, not shared.
    BOOL exclusive = TRUE;
    setsockopt(m_socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<u_short>(localPort));
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        WSAAsyncSelect(m_socket, m_window.handle(), m_readyMessage, FD_READ) != 0) {
        close();
        return false;
    }
    return true;
}

void Win32UdpSocket::close() {
    if (m_socket != INVALID_SOCKET) {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
    m_connected = false;
    m_datagramSize = -1;
}

std::int32_t Win32UdpSocket::localPort() const {
    sockaddr_in local{};
    int size = sizeof local;
    if (m_socket == INVALID_SOCKET ||
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

bool Win32UdpSocket::connectToRemote() {
    if (!m_connected) {
        m_connected =
            ::connect(m_socket, reinterpret_cast<const sockaddr*>(&m_remote), sizeof m_remote) == 0;
    }
    return m_connected;
}

bool Win32UdpSocket::send(std::span<const std::uint8_t> datagram) {
    if (!m_remoteKnown || m_socket == INVALID_SOCKET || !connectToRemote()) {
        return false;
    }
    const int size = static_cast<int>(datagram.size());
    return ::send(m_socket, reinterpret_cast<const char*>(datagram.data()), size, 0) == size;
}

void Win32UdpSocket::setArrivalHandler(std::function<void(std::int32_t)> handler) {
    m_handler = std::move(handler);
}

std::int32_t Win32UdpSocket::read(std::span<std::uint8_t> buffer, DatagramSource& source) {
    if (m_datagramSize < 0) {
        return -1;
    }
    const auto count =
        std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(m_datagramSize));
    std::memcpy(buffer.data(), m_datagram.data(), count);
    // Connected: only the server's datagrams get through.
    source.fromRemote = true;
    m_datagramSize = -1;
    return static_cast<std::int32_t>(count);
}

void Win32UdpSocket::receiveOne(SOCKET socket) {
    // One datagram per message: Winsock posts the next message while more are waiting, so
    // timers get their turn between datagrams. An error (an ICMP port unreachable shows as
    // WSAECONNRESET) leaves the socket usable.
    const int size = recv(socket, reinterpret_cast<char*>(m_datagram.data()),
                          static_cast<int>(m_datagram.size()), 0);
    if (size < 0) {
        return;
    }
    m_datagramSize = size;
    if (m_handler) {
        m_handler(size);
    }
    m_datagramSize = -1;
}

}  // namespace korvel
