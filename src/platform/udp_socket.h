#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace korvel {

// What the socket knows of the datagram it hands out.
struct DatagramSource {
    // The datagram came from the remote host's address and the remote port.
    bool fromRemote = false;
};

// The program's UDP socket. Events come on the program's thread, one datagram at a time.
class UdpSocket {
public:
    virtual ~UdpSocket() = default;
    // An IPv4 address or a host name; blanks around it are ignored when it is resolved.
    virtual void setRemoteHost(const std::string& host) = 0;
    virtual void setRemotePort(std::int32_t port) = 0;
    // Binds a fresh socket to the port (0: any free port) and takes it in place of the one
    // bound before, whose port therefore counts as in use. False when the port cannot be used
    // (in use, out of range, no right); the socket then keeps its old binding.
    virtual bool bind(std::int32_t localPort) = 0;
    // Releases the binding so that the socket can be bound again.
    virtual void close() = 0;
    // The port the socket is bound to, 0 when unbound.
    virtual std::int32_t localPort() const = 0;
    // One datagram to the remote host and port; does not wait. False when it could not leave.
    virtual bool send(std::span<const std::uint8_t> datagram) = 0;
    // Called once per arriving datagram with its size. A datagram the handler does not read
    // is discarded when the handler returns.
    virtual void setArrivalHandler(std::function<void(std::int32_t byteCount)> handler) = 0;
    // Copies the waiting datagram (at most buffer.size() bytes) and consumes it. Returns the
    // bytes copied, or -1 when no datagram is waiting.
    virtual std::int32_t read(std::span<std::uint8_t> buffer, DatagramSource& source) = 0;
};

}  // namespace korvel
