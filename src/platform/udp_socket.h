#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvel {

// How looking a server up ended.
enum class ConnectOutcome {
    Connected,
    NameNotResolved,
    NetworkUnreachable,  // no route to the address, or no socket of its family
};

// Whether a datagram left, and when by the system's stamp where it gives one.
struct SentDatagram {
    bool sent = false;
    std::optional<std::int64_t> leftUtcNs;
};

// The program's UDP socket: one local port, requests to one or more servers. Events come on
// the program's thread, one datagram at a time.
class UdpSocket {
public:
    virtual ~UdpSocket() = default;
    // Binds a fresh socket to the local port (0: any free port) for both address families
    // (IPv4 alone where the system has no IPv6) and takes it in place of the one bound before,
    // whose port therefore counts as in use. False when the port cannot be used (in use, out
    // of range, no right); the socket then keeps its old binding and servers. A socket bound
    // anew has no servers (look-ups still pending are cancelled): setServers follows.
    virtual bool bind(std::int32_t localPort) = 0;
    // Releases the binding so that the socket can be bound again; cancels pending look-ups.
    virtual void close() = 0;
    // The port the socket is bound to, 0 when unbound.
    virtual std::int32_t localPort() const = 0;
    // Points the bound socket at the servers, hosts[i] at ports[i], in place of those before.
    // Each host is looked up without blocking: an IPv4 or IPv6 address is taken as it is,
    // never asked of a name server; a name takes its first address, IPv4 first; blanks around
    // it are ignored. done(server, outcome) runs once per server (its index in hosts), later,
    // on the program's thread, never inside this call; a new setServers, keepFirstServer or
    // close() cancels the look-ups still pending, whose done then never runs. Until a server's
    // look-up answered Connected, sends to it fail and nothing arrives from it. With one
    // server the socket is connected to it, so the system drops datagrams from anyone else;
    // with several, datagrams from any other address or port are dropped before the handler.
    virtual void setServers(const std::vector<std::string>& hosts,
                            const std::vector<std::int32_t>& ports,
                            std::function<void(int server, ConnectOutcome)> done) = 0;
    // The address a server was found at, as text: IPv4 dotted (also one written as an
    // IPv4-mapped IPv6 address), IPv6 in the system's form; empty while it is not found. Sends
    // go to every server found; what comes from an address and port where several were found
    // goes to the one of them listed first.
    virtual std::string addressOf(int server) const = 0;
    // Every address a server's look-up gave, as addressOf writes them and without repeats: the
    // one it was found at, then the others in the system's order, IPv4 first; empty while it is
    // not found.
    virtual std::vector<std::string> addressesOf(int server) const = 0;
    // One more server, at an address as addressesOf gives it and the port, found at once
    // without a look-up; its index follows the last server's. -1 where no route leads there or
    // a server of the set is already found there. From then on the socket is connected to no
    // single server.
    virtual int addServer(const std::string& address, std::int32_t port) = 0;
    // Keeps the first server of the last setServers alone, as it was found, without a new
    // look-up, and connects the socket to it: while no burst runs the system drops datagrams
    // from anyone else. Where the first server was not found nothing arrives at all.
    virtual void keepFirstServer() = 0;
    // One datagram to a server found by the last setServers; does not wait. Says whether it
    // left and, where the system stamps datagrams as they leave the host, that stamp (as an
    // arrival stamp below).
    virtual SentDatagram send(int server, std::span<const std::uint8_t> datagram) = 0;
    // Called once per datagram arriving from one of the servers, with its size, the server's
    // index and, where the system stamps datagrams as they reach the host, that stamp: the
    // system clock (UTC) in nanoseconds since 1970-01-01 00:00:00, at its own resolution. A
    // datagram the handler does not read is discarded when it returns.
    using ArrivalHandler = std::function<void(std::int32_t byteCount, int server,
                                              std::optional<std::int64_t> receivedUtcNs)>;
    virtual void setArrivalHandler(ArrivalHandler handler) = 0;
    // Copies the waiting datagram (at most buffer.size() bytes) and consumes it. Returns the
    // bytes copied, or -1 when no datagram is waiting.
    virtual std::int32_t read(std::span<std::uint8_t> buffer) = 0;
};

}  // namespace korvel
