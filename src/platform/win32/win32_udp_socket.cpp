#include "platform/win32/win32_udp_socket.h"

#include <ws2tcpip.h>

#include <cstring>
#include <thread>

#include "common/utf8_text.h"

namespace korvel {

namespace {

// An address as the socket's family writes it: IPv4 becomes v4-mapped on a dual-stack socket.
bool socketAddress(const sockaddr* address, bool dualStack, sockaddr_storage& out, int& size) {
    std::memset(&out, 0, sizeof out);
    if (address->sa_family == AF_INET && !dualStack) {
        std::memcpy(&out, address, sizeof(sockaddr_in));
        size = sizeof(sockaddr_in);
        return true;
    }
    if (!dualStack) {
        return false;
    }
    auto& in6 = reinterpret_cast<sockaddr_in6&>(out);
    if (address->sa_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(*address);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = in.sin_port;
        in6.sin6_addr.s6_addr[10] = 0xFF;
        in6.sin6_addr.s6_addr[11] = 0xFF;
        std::memcpy(&in6.sin6_addr.s6_addr[12], &in.sin_addr, 4);
    } else {
        std::memcpy(&in6, address, sizeof in6);
    }
    size = sizeof in6;
    return true;
}

}  // namespace

// A look-up in flight; shared with its thread, which may outlive the socket.
struct Win32UdpSocket::LookUp {
    std::string host;
    std::string port;
    std::function<void(ConnectOutcome)> done;
    // Written by the thread before it posts its message, read after the message arrives.
    sockaddr_storage address{};
    bool found = false;
};

Win32UdpSocket::Win32UdpSocket(MessageWindow& window) : m_window(window) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_readyMessage = m_window.newMessage();
    m_window.handle(m_readyMessage, [this](WPARAM socket, LPARAM event) {
        // A message may still be queued for a socket closed since.
        if (static_cast<SOCKET>(socket) == m_socket && WSAGETSELECTEVENT(event) == FD_READ) {
            receiveOne();
        }
    });
    m_lookedUpMessage = m_window.newMessage();
    m_window.handle(m_lookedUpMessage, [this](WPARAM, LPARAM lookUp) {
        if (m_lookUp && reinterpret_cast<LookUp*>(lookUp) == m_lookUp.get()) {
            finishLookUp();
        }
    });
}

Win32UdpSocket::~Win32UdpSocket() {
    close();
    m_window.handle(m_readyMessage, nullptr);
    m_window.handle(m_lookedUpMessage, nullptr);
    WSACleanup();
}

bool Win32UdpSocket::bind(std::int32_t localPort) {
    if (localPort < 0 || localPort > 65535) {
        return false;
    }
    const auto port = htons(static_cast<u_short>(localPort));
    // A fresh socket: the one in use keeps its port until the new one is bound. One IPv6
    // socket that also carries IPv4; a plain IPv4 one where the system has no IPv6.
    SOCKET fresh = ::socket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP);
    const bool dualStack = fresh != INVALID_SOCKET;
    if (!dualStack) {
        fresh = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    }
    if (fresh == INVALID_SOCKET) {
        return false;
    }
    // No address sharing: a port another program holds must be reported, not shared.
    const BOOL on = TRUE;
    setsockopt(fresh, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
               sizeof on);
    sockaddr_storage any{};
    int size = 0;
    if (dualStack) {
        const DWORD off = 0;
        setsockopt(fresh, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off),
                   sizeof off);
        auto& in6 = reinterpret_cast<sockaddr_in6&>(any);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = port;
        size = sizeof in6;
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(any);
        in.sin_family = AF_INET;
        in.sin_port = port;
        size = sizeof in;
    }
    if (::bind(fresh, reinterpret_cast<const sockaddr*>(&any), size) != 0) {
        closesocket(fresh);
        return false;
    }
    close();
    m_socket = fresh;
    m_dualStack = dualStack;
    if (WSAAsyncSelect(m_socket, m_window.handle(), m_readyMessage, FD_READ) != 0) {
        close();
        return false;
    }
    return true;
}

void Win32UdpSocket::close() {
    m_lookUp.reset();
    if (m_socket != INVALID_SOCKET) {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
    m_connected = false;
    m_datagram.drop();
}

std::int32_t Win32UdpSocket::localPort() const {
    sockaddr_storage local{};
    int size = sizeof local;
    if (m_socket == INVALID_SOCKET ||
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return 0;
    }
    return local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6&>(local).sin6_port)
                                       : ntohs(reinterpret_cast<sockaddr_in&>(local).sin_port);
}

void Win32UdpSocket::connectTo(const std::string& host, std::int32_t port,
                               std::function<void(ConnectOutcome)> done) {
    m_connected = false;
    auto lookUp = std::make_shared<LookUp>();
    lookUp->host = trimBlanks(host);
    lookUp->port = std::to_string(port);
    lookUp->done = std::move(done);
    m_lookUp = lookUp;
    // The answer comes through the message loop even for an address, so done never runs
    // inside this call; a newer look-up or close() makes this one's answer stale.
    std::thread([lookUp, window = m_window.handle(), message = m_lookedUpMessage] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        if (!lookUp->host.empty() &&
            getaddrinfo(lookUp->host.c_str(), lookUp->port.c_str(), &hints, &found) == 0) {
            // IPv4 first.
            const addrinfo* chosen = found;
            for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
                if (a->ai_family == AF_INET) {
                    chosen = a;
                    break;
                }
            }
            std::memcpy(&lookUp->address, chosen->ai_addr, chosen->ai_addrlen);
            lookUp->found = true;
            freeaddrinfo(found);
        }
        PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(lookUp.get()));
    }).detach();
}

void Win32UdpSocket::finishLookUp() {
    const std::shared_ptr<LookUp> lookUp = std::move(m_lookUp);
    if (!lookUp->found) {
        lookUp->done(ConnectOutcome::NameNotResolved);
        return;
    }
    sockaddr_storage to{};
    int size = 0;
    const bool fits =
        m_socket != INVALID_SOCKET &&
        socketAddress(reinterpret_cast<const sockaddr*>(&lookUp->address), m_dualStack, to, size);
    m_connected = fits && ::connect(m_socket, reinterpret_cast<const sockaddr*>(&to), size) == 0;
    lookUp->done(m_connected ? ConnectOutcome::Connected : ConnectOutcome::NetworkUnreachable);
}

bool Win32UdpSocket::send(std::span<const std::uint8_t> datagram) {
    if (!m_connected) {
        return false;
    }
    const int size = static_cast<int>(datagram.size());
    return ::send(m_socket, reinterpret_cast<const char*>(datagram.data()), size, 0) == size;
}

void Win32UdpSocket::setArrivalHandler(std::function<void(std::int32_t)> handler) {
    m_handler = std::move(handler);
}

std::int32_t Win32UdpSocket::read(std::span<std::uint8_t> buffer) {
    return m_datagram.read(buffer);
}

void Win32UdpSocket::receiveOne() {
    // One datagram per message: Winsock posts the next message while more are waiting, so
    // timers get their turn between datagrams. An error (an ICMP port unreachable shows as
    // WSAECONNRESET) leaves the socket usable.
    const std::span<std::uint8_t> into = m_datagram.buffer();
    const int size =
        recv(m_socket, reinterpret_cast<char*>(into.data()), static_cast<int>(into.size()), 0);
    // Before the socket is connected, anyone may send to its port.
    if (size < 0 || !m_connected || !m_handler) {
        return;
    }
    m_datagram.deliver(size, m_handler);
}

}  // namespace korvel
