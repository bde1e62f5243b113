#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace korvel {

// How pointing the socket at the server ended.
enum class ConnectOutcome {
    Connected,
    NameNotResolved,
    NetworkUnreachable,  // no route to the address, or no socket of its family
};

// The program's UDP socket. Events come on the program's thread, one datagram at a time.
class UdpSocket {
public:
    virtual ~UdpSocket() = default;
    // Binds a fresh socket to the local port (0: any free port) for both address families
    // (IPv4 alone where the system has no IPv6) and takes it in place of the one bound before,
    // whose port therefore counts as in use. False when the port cannot be used (in use, out
    // of range, no right); the socket then keeps its old binding and connection.
    virtual bool bind(std::int32_t localPort) = 0;
    // Releases the binding so that the socket can be bound again; cancels a pending connectTo.
    virtual void close() = 0;
    // The port the socket is bound to, 0 when unbound.
    virtual std::int32_t localPort() const = 0;
    // Looks the host up without blocking (an IPv4 or IPv6 address or a host name; blanks
    // around it are ignored) and connects the bound socket to its first address, IPv4 first,
    // and the port, so that the system drops datagrams from anyone else. done runs once,
    // later, on the program's thread; a new connectTo or close() cancels a pending one, whose
    // done then never runs. Until done reports Connected, send fails and nothing arrives.
    virtual void connectTo(const std::string& host, std::int32_t port,
                           std::function<void(ConnectOutcome)> done) = 0;
    // One datagram to the connected server; does not wait. False when it could not leave.
    virtual bool send(std::span<const std::uint8_t> datagram) = 0;
    // Called once per datagram arriving from the connected server, with its size. A datagram
    // the handler does not read is discarded when the handler returns.
    virtual void setArrivalHandler(std::function<void(std::int32_t byteCount)> handler) = 0;
    // Copies the waiting datagram (at most buffer.size() bytes) and consumes it. Returns the
    // bytes copied, or -1 when no datagram is waiting.
    virtual std::int32_t read(std::span<std::uint8_t> buffer) = 0;
};

}  // namespace korvel
