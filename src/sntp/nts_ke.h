#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/server_entry.h"
#include "sntp/bytes.h"

namespace korvel {

// The key exchange of Network Time Security (RFC 8915): the records that travel over its TLS
// connection, and what the client makes of the server's answer.
inline constexpr std::uint16_t kNtsProtocolNtpv4 = 0;
inline constexpr std::uint16_t kAeadAesSivCmac256 = 15;
inline constexpr std::size_t kNtsKeyBytes = 32;
// The ALPN name and the TLS exporter's label; the exporter's context is the protocol, the
// algorithm and the direction (ntsExporterContext).
inline constexpr const char* kNtsAlpn = "ntske/1";
inline constexpr const char* kNtsExporterLabel = "EXPORTER-network-time-security";

enum class NtsRecordType : std::uint16_t {
    EndOfMessage = 0,
    NextProtocol = 1,
    Error = 2,
    Warning = 3,
    AeadAlgorithm = 4,
    NewCookie = 5,
    Server = 6,
    Port = 7,
};

struct NtsKeRecord {
    bool critical = false;
    std::uint16_t type = 0;
    Bytes body;
};

// The wire form: the critical bit and 15-bit type, the body's length, the body.
Bytes encodeNtsKeRecord(const NtsKeRecord& record);

// The client's whole request: NTPv4 as the next protocol, AES-SIV-CMAC-256, end of message.
Bytes ntsKeRequest();

// The exporter context of one direction's key.
enum class NtsDirection : std::uint8_t { ClientToServer = 0, ServerToClient = 1 };
Bytes ntsExporterContext(NtsDirection direction);

// Why an answer cannot be used. Incomplete: the end-of-message record has not come yet.
enum class NtsKeAnswerFault {
    None,
    Incomplete,
    Malformed,        // a record whose body does not fit its type, or bytes after the end
    UnknownCritical,  // a critical record of a type we do not know
    ServerError,      // the server sent an error record (errorCode)
    NoNtpv4,          // no next-protocol record naming NTPv4 alone
    NoAlgorithm,      // no algorithm record naming AES-SIV-CMAC-256 alone
    NoCookies,
};

// The server's answer as the client uses it.
struct NtsKeAnswer {
    NtsKeAnswerFault fault = NtsKeAnswerFault::Incomplete;
    std::uint16_t errorCode = 0;
    std::vector<std::uint16_t> warnings;
    std::vector<Bytes> cookies;
    // The NTP server and port the answer names; empty or absent: the key-exchange host and
    // port 123.
    std::string ntpServer;
    std::optional<std::uint16_t> ntpPort;
};

// Reads the records received so far. Any fault but Incomplete is final; Incomplete asks for
// more bytes.
NtsKeAnswer parseNtsKeAnswer(ByteView stream);

}  // namespace korvel
