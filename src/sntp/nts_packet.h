#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sntp/nts_ke.h"
#include "sntp/sntp_packet.h"

namespace korvel {

// AES-SIV-CMAC-256 (RFC 5297) under a 32-byte key; the platform supplies it. The headers are
// S2V's associated-data strings in order (for NTS: the packet so far, then the nonce). Sealed
// bytes are the 16-byte synthetic IV followed by the ciphertext.
class SivCipher {
public:
    virtual ~SivCipher() = default;
    // Nothing when the key is not 32 bytes.
    virtual std::optional<Bytes> seal(ByteView key, const std::vector<ByteView>& headers,
                                      ByteView plaintext) const = 0;
    // Nothing when the key is not 32 bytes or the sealed bytes do not verify.
    virtual std::optional<Bytes> open(ByteView key, const std::vector<ByteView>& headers,
                                      ByteView sealed) const = 0;
};

// NTP extension fields of NTS (RFC 8915 section 5).
enum class NtsFieldType : std::uint16_t {
    UniqueIdentifier = 0x0104,
    Cookie = 0x0204,
    CookiePlaceholder = 0x0304,
    Authenticator = 0x0404,
};

inline constexpr std::size_t kNtsUniqueIdBytes = 32;
inline constexpr std::size_t kNtsNonceBytes = 16;
inline constexpr std::size_t kNtsCookiesKept = 8;

// The field in wire form: type, length (header included), the body padded with zeros to a
// multiple of four bytes.
Bytes ntsField(NtsFieldType type, ByteView body);

// What one authenticated request carries besides the 48-byte packet.
struct NtsRequestParts {
    ByteView uniqueId;  // kNtsUniqueIdBytes unpredictable bytes, kept to match the reply
    ByteView cookie;    // one cookie never sent before
    std::size_t placeholders = 0;
    ByteView nonce;  // kNtsNonceBytes unpredictable bytes
    ByteView clientToServerKey;
};

// The whole datagram: the packet in wire order, the unique identifier, the cookie, the
// placeholders (each as long as the cookie) and the authenticator over all of it. Nothing
// when the cipher refuses the key.
std::optional<Bytes> ntsRequest(const PacketBytes& wirePacket, const NtsRequestParts& parts,
                                const SivCipher& cipher);

// What a datagram answering an NTS request turned out to be.
enum class NtsReplyVerdict {
    Authentic,  // identifier matches, tag verifies: the packet and cookies may be used
    Nak,        // kiss code NTSN with our identifier: the cookies are no good any more
    Malformed,  // shorter than a packet, or fields that do not parse
    WrongId,    // no identifier, or not ours
    NoAuthenticator,
    BadTag,
};

struct NtsReply {
    NtsReplyVerdict verdict = NtsReplyVerdict::Malformed;
    std::vector<Bytes> cookies;  // from the encrypted part of an authentic reply
};

// Checks a reply against the request's identifier and the server-to-client key.
NtsReply checkNtsReply(ByteView datagram, ByteView uniqueId, ByteView serverToClientKey,
                       const SivCipher& cipher);

}  // namespace korvel
