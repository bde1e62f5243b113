#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <variant>

#include "platform/nts_key_exchange.h"

namespace korvel {

using NtsKeClock = std::chrono::steady_clock;

// One NTS key exchange with OpenSSL 3, to its end: blocks up to the target's time-out, and
// returns soon after cancelled becomes true (as TimedOut).
NtsKeResult exchangeNtsKeys(const NtsKeTarget& target, const std::atomic<bool>& cancelled);

// A connected, non-blocking TCP connection of the system's own sockets.
class TcpConnection {
public:
    virtual ~TcpConnection() = default;
    // The socket as SSL_set_fd takes it.
    virtual int handle() const = 0;
    // Waits until the socket can be written (or else read); false when the deadline passed or
    // the exchange was cancelled. An error on the socket counts as ready: the next call on it
    // reports the error.
    virtual bool waitUntilReady(bool forWriting, NtsKeClock::time_point deadline,
                                const std::atomic<bool>& cancelled) const = 0;
};

// What each system provides to the exchange: the connection to the first of the host's
// addresses that answers (or the failure of the last one tried), and its own trust anchors.
std::variant<std::unique_ptr<TcpConnection>, NtsKeResult> connectTcp(
    const NtsKeTarget& target, NtsKeClock::time_point deadline, const std::atomic<bool>& cancelled);
bool addSystemTrustAnchors(SSL_CTX* context);

NtsKeResult ntsKeFailed(NtsKeFailure failure, std::string detail);

}  // namespace korvel
