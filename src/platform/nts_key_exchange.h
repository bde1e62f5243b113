#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "sntp/nts_ke.h"

namespace korvel {

// Why a key exchange gave no keys.
enum class NtsKeFailure {
    None,
    NameNotResolved,
    Refused,             // nothing listens, or the connection was reset
    TimedOut,            // no connection, handshake or answer within the time given
    NoAlpn,              // the server does not speak ntske/1
    CertificateExpired,  // outside the certificate's dates (at the time it was checked at)
    WrongName,           // the certificate is not for the host name asked for
    Untrusted,           // no chain to a trusted root
    TlsFailed,           // any other TLS failure, TLS 1.3 not offered included
    BadAnswer,           // records that cannot be used (answer.fault says why)
};

// One key exchange to make.
struct NtsKeTarget {
    std::string host;  // a name, or an IPv4 or IPv6 address without brackets
    std::int32_t port = kNtsKePort;
    // A file of PEM certificates trusted besides the system's store; empty: the store alone.
    std::string extraTrustFile;
    // The time (seconds since 1970, UTC) the certificate's dates are checked at; absent: now.
    std::optional<std::int64_t> checkDatesAtUnixSec;
    int timeoutMs = 10'000;
};

// Its result: the keys and the server's answer, or why there are none.
struct NtsKeResult {
    NtsKeFailure failure = NtsKeFailure::None;
    NtsKeAnswer answer;
    Bytes clientToServerKey;
    Bytes serverToClientKey;
    std::string detail;  // the TLS library's own words on a failure, for standard error
};

// NTS key exchanges over TLS 1.3, against the system's trust store and the host name.
class NtsKeyExchange {
public:
    virtual ~NtsKeyExchange() = default;
    // Starts one exchange; done runs once, later, on the program's thread, never inside this
    // call. Exchanges may run side by side. Destroying the object cancels those still running,
    // whose done then never runs.
    virtual void start(const NtsKeTarget& target, std::function<void(NtsKeResult)> done) = 0;
};

}  // namespace korvel
