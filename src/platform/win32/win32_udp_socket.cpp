#include "platform/win32/win32_udp_socket.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

#include "common/utf8_text.h"

namespace korvel {

namespace {

using Peer = Win32UdpSocket::Peer;

// The host's addresses, IPv4 first; none where it has none. Numeric only: an address literal,
// never asked of a name server.
std::vector<sockaddr_storage> lookUpHost(const std::string& host, const std::string& port,
                                         bool numericOnly) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    std::vector<sockaddr_storage> addresses;
    if (host.empty() || getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
        return addresses;
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        sockaddr_storage& address = addresses.emplace_back();
        std::memcpy(&address, a->ai_addr, std::min(sizeof address, a->ai_addrlen));
    }
    freeaddrinfo(found);
    std::stable_partition(addresses.begin(), addresses.end(),
                          [](const sockaddr_storage& a) { return a.ss_family == AF_INET; });
    return addresses;
}

// The address as the socket's family writes it: IPv4 becomes v4-mapped on a dual-stack socket.
std::optional<Peer> socketAddress(const sockaddr_storage& address, bool dualStack) {
    Peer peer;
    if (address.ss_family == AF_INET && !dualStack) {
        std::memcpy(&peer.address, &address, sizeof(sockaddr_in));
        peer.size = sizeof(sockaddr_in);
        return peer;
    }
    if (!dualStack) {
        return std::nullopt;
    }
    auto& in6 = reinterpret_cast<sockaddr_in6&>(peer.address);
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = in.sin_port;
        in6.sin6_addr.s6_addr[10] = 0xFF;
        in6.sin6_addr.s6_addr[11] = 0xFF;
        std::memcpy(&in6.sin6_addr.s6_addr[12], &in.sin_addr, 4);
    } else {
        std::memcpy(&in6, &address, sizeof in6);
    }
    peer.size = sizeof in6;
    return peer;
}

// An address and port as compared: the IPv6 address (IPv4 as v4-mapped, so both forms of one
// address are equal), then the port.
std::array<std::uint8_t, 18> endpointOf(const sockaddr_storage& address) {
    std::array<std::uint8_t, 18> endpoint{};
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        std::memcpy(endpoint.data(), &in6.sin6_addr, 16);
        std::memcpy(endpoint.data() + 16, &in6.sin6_port, 2);
    } else if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        endpoint[10] = endpoint[11] = 0xFF;
        std::memcpy(endpoint.data() + 12, &in.sin_addr, 4);
        std::memcpy(endpoint.data() + 16, &in.sin_port, 2);
    }
    return endpoint;
}

// The address as addressOf gives it: IPv4 dotted, also where it is v4-mapped.
std::string addressText(const sockaddr_storage& address) {
    const std::array<std::uint8_t, 18> endpoint = endpointOf(address);
    constexpr std::array<std::uint8_t, 12> kMapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    const bool mapped = std::equal(kMapped.begin(), kMapped.end(), endpoint.begin());
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(mapped ? AF_INET : AF_INET6, endpoint.data() + (mapped ? 12 : 0), text, sizeof text);
    return text;
}

// Whether the system has a route to the peer: a throwaway socket is connected to it, which
// sends nothing.
bool routable(const Peer& peer) {
    const SOCKET probe = ::socket(peer.address.ss_family, SOCK_DGRAM, IPPROTO_UDP);
    if (probe == INVALID_SOCKET) {
        return false;
    }
    const DWORD off = 0;
    setsockopt(probe, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off), sizeof off);
    const bool routed =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&peer.address), peer.size) == 0;
    closesocket(probe);
    return routed;
}

// A fresh socket bound to the port: one IPv6 socket that also carries IPv4, or a plain IPv4
// one where the system has no IPv6. INVALID_SOCKET when the port cannot be used.
SOCKET openBound(u_short port, bool& dualStack) {
    SOCKET fresh = ::socket(AF_INET6, SOCK_DGRAM, IPPROTO_UDP);
    dualStack = fresh != INVALID_SOCKET;
    if (!dualStack) {
        fresh = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    }
    if (fresh == INVALID_SOCKET) {
        return fresh;
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
        in6.sin6_port = htons(port);
        size = sizeof in6;
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(any);
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        size = sizeof in;
    }
    if (::bind(fresh, reinterpret_cast<const sockaddr*>(&any), size) != 0) {
        closesocket(fresh);
        return INVALID_SOCKET;
    }
    return fresh;
}

}  // namespace

// A look-up in flight; shared with its thread, which may outlive the socket.
struct Win32UdpSocket::LookUp {
    WPARAM id = 0;
    int server = 0;
    std::shared_ptr<std::function<void(int, ConnectOutcome)>> done;
    // Written before the answer is posted, read after it arrives; none: not found.
    std::vector<sockaddr_storage> addresses;
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
    m_window.handle(m_lookedUpMessage, [this](WPARAM id, LPARAM) {
        const auto answered = std::find_if(m_lookUps.begin(), m_lookUps.end(),
                                           [id](const auto& lookUp) { return lookUp->id == id; });
        if (answered != m_lookUps.end()) {
            const std::shared_ptr<LookUp> lookUp = *answered;
            m_lookUps.erase(answered);
            found(*lookUp);
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
    // A fresh socket: the one in use keeps its port until the new one is bound.
    bool dualStack = false;
    const SOCKET fresh = openBound(static_cast<u_short>(localPort), dualStack);
    if (fresh == INVALID_SOCKET) {
        return false;
    }
    close();
    return adopt(fresh, dualStack);
}

bool Win32UdpSocket::adopt(SOCKET socket, bool dualStack) {
    m_socket = socket;
    m_dualStack = dualStack;
    m_connected = false;
    if (m_socket != INVALID_SOCKET &&
        WSAAsyncSelect(m_socket, m_window.handle(), m_readyMessage, FD_READ) != 0) {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
    return m_socket != INVALID_SOCKET;
}

void Win32UdpSocket::close() {
    forgetServers();
    if (m_socket != INVALID_SOCKET) {
        closesocket(m_socket);
    }
    adopt(INVALID_SOCKET, false);
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

void Win32UdpSocket::forgetServers() {
    m_lookUps.clear();
    m_servers.clear();
    m_addresses.clear();
}

bool Win32UdpSocket::connectSocket(const Peer& peer) {
    if (m_socket != INVALID_SOCKET &&
        ::connect(m_socket, reinterpret_cast<const sockaddr*>(&peer.address), peer.size) == 0) {
        m_connected = true;
        return true;
    }
    // A failed connect may leave the socket connected to the server before.
    leaveServer();
    return false;
}

void Win32UdpSocket::leaveServer() {
    // A fresh socket on the same port rather than a connect to the all-zero address: Wine
    // passes that on to the host, where under gVisor a dual-stack socket once connected to an
    // IPv4 server stays deaf to IPv6 after it.
    if (!m_connected) {
        return;
    }
    const auto port = static_cast<u_short>(localPort());
    closesocket(m_socket);
    bool dualStack = false;
    const SOCKET fresh = openBound(port, dualStack);
    adopt(fresh, dualStack);
}

void Win32UdpSocket::setServers(const std::vector<std::string>& hosts,
                                const std::vector<std::int32_t>& ports,
                                std::function<void(int, ConnectOutcome)> done) {
    forgetServers();
    leaveServer();
    m_servers.resize(hosts.size());
    m_addresses.resize(hosts.size());
    const auto shared = std::make_shared<std::function<void(int, ConnectOutcome)>>(std::move(done));
    for (int server = 0; server < static_cast<int>(hosts.size()); ++server) {
        const std::string service = std::to_string(ports.at(static_cast<std::size_t>(server)));
        auto lookUp = std::make_shared<LookUp>();
        lookUp->id = m_nextLookUp++;
        lookUp->server = server;
        lookUp->done = shared;
        m_lookUps.push_back(lookUp);
        const std::string host = trimBlanks(hosts[server]);
        // An address is never asked of a name server, which might not answer; its answer
        // still comes through the message loop, never inside this call.
        if (lookUp->addresses = lookUpHost(host, service, true); !lookUp->addresses.empty()) {
            PostMessageW(m_window.handle(), m_lookedUpMessage, lookUp->id, 0);
            continue;
        }
        std::thread([lookUp, host, service, window = m_window.handle(),
                     message = m_lookedUpMessage] {
            lookUp->addresses = lookUpHost(host, service, false);
            PostMessageW(window, message, lookUp->id, 0);
        }).detach();
    }
}

void Win32UdpSocket::found(const LookUp& lookUp) {
    if (lookUp.addresses.empty()) {
        (*lookUp.done)(lookUp.server, ConnectOutcome::NameNotResolved);
        return;
    }
    const std::optional<Peer> peer = m_socket == INVALID_SOCKET
                                         ? std::nullopt
                                         : socketAddress(lookUp.addresses.front(), m_dualStack);
    // One server: the system filters for it. Several: the socket stays unconnected.
    const bool reachable = peer && (m_servers.size() == 1 ? connectSocket(*peer) : routable(*peer));
    if (reachable) {
        std::vector<std::string>& texts = m_addresses[static_cast<std::size_t>(lookUp.server)];
        for (const sockaddr_storage& address : lookUp.addresses) {
            if (const std::string text = addressText(address);
                std::find(texts.begin(), texts.end(), text) == texts.end()) {
                texts.push_back(text);
            }
        }
        m_servers[static_cast<std::size_t>(lookUp.server)] = peer;
    }
    (*lookUp.done)(lookUp.server,
                   reachable ? ConnectOutcome::Connected : ConnectOutcome::NetworkUnreachable);
}

void Win32UdpSocket::keepFirstServer() {
    const std::optional<Peer> first = m_servers.empty() ? std::nullopt : m_servers.front();
    const std::vector<std::string> firstAddress =
        m_addresses.empty() ? std::vector<std::string>() : m_addresses.front();
    forgetServers();
    if (!first) {
        leaveServer();
    } else if (connectSocket(*first)) {
        m_servers.push_back(first);
        m_addresses.push_back(firstAddress);
    }
}

std::string Win32UdpSocket::addressOf(int server) const {
    const std::vector<std::string> all = addressesOf(server);
    return all.empty() ? std::string() : all.front();
}

std::vector<std::string> Win32UdpSocket::addressesOf(int server) const {
    return server >= 0 && server < static_cast<int>(m_addresses.size())
               ? m_addresses[static_cast<std::size_t>(server)]
               : std::vector<std::string>();
}

int Win32UdpSocket::addServer(const std::string& address, std::int32_t port) {
    const std::vector<sockaddr_storage> literal = lookUpHost(address, std::to_string(port), true);
    const std::optional<Peer> peer = m_socket == INVALID_SOCKET || literal.empty()
                                         ? std::nullopt
                                         : socketAddress(literal.front(), m_dualStack);
    if (!peer || serverOf(peer->address) >= 0 || !routable(*peer)) {
        return -1;
    }
    // Datagrams from the new server too: the socket connected to the first one would drop them.
    leaveServer();
    m_servers.push_back(peer);
    m_addresses.push_back({addressText(peer->address)});
    return static_cast<int>(m_servers.size()) - 1;
}

SentDatagram Win32UdpSocket::send(int server, std::span<const std::uint8_t> datagram) {
    if (server < 0 || server >= static_cast<int>(m_servers.size()) || !m_servers[server]) {
        return {};
    }
    const Peer& peer = *m_servers[server];
    const auto* bytes = reinterpret_cast<const char*>(datagram.data());
    const int size = static_cast<int>(datagram.size());
    const int sent = m_connected
                         ? ::send(m_socket, bytes, size, 0)
                         : ::sendto(m_socket, bytes, size, 0,
                                    reinterpret_cast<const sockaddr*>(&peer.address), peer.size);
    return {sent == size, std::nullopt};
}

void Win32UdpSocket::setArrivalHandler(ArrivalHandler handler) {
    m_handler = std::move(handler);
}

std::int32_t Win32UdpSocket::read(std::span<std::uint8_t> buffer) {
    return m_datagram.read(buffer);
}

int Win32UdpSocket::serverOf(const sockaddr_storage& source) const {
    const auto endpoint = endpointOf(source);
    for (std::size_t server = 0; server < m_servers.size(); ++server) {
        if (m_servers[server] && endpointOf(m_servers[server]->address) == endpoint) {
            return static_cast<int>(server);
        }
    }
    return -1;
}

void Win32UdpSocket::receiveOne() {
    // One datagram per message: Winsock posts the next message while more are waiting, so
    // timers get their turn between datagrams. An error (an ICMP port unreachable shows as
    // WSAECONNRESET) leaves the socket usable.
    const std::span<std::uint8_t> into = m_datagram.buffer();
    sockaddr_storage source{};
    int sourceSize = sizeof source;
    const int size =
        recvfrom(m_socket, reinterpret_cast<char*>(into.data()), static_cast<int>(into.size()), 0,
                 reinterpret_cast<sockaddr*>(&source), &sourceSize);
    // Checked even when connected: a datagram may have waited since before the connect.
    const int server = size < 0 ? -1 : serverOf(source);
    if (server < 0 || !m_handler) {
        return;
    }
    // No arrival stamp: the handler's own reading is the arrival time.
    m_datagram.deliver(size,
                       [&](std::int32_t byteCount) { m_handler(byteCount, server, std::nullopt); });
}

}  // namespace korvel
