#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sntp/nts_packet.h"

namespace korvel::test {

// Bytes written as hexadecimal digits.
Bytes hexBytes(std::string_view hex);

// The server side of NTS packets, written from RFC 8915 apart from the client's code: it
// checks a request's authenticator with the client-to-server key and answers with the packet
// given, the request's identifier, and as many fresh cookies as the request carried cookies
// and placeholders, sealed with the server-to-client key.
class FakeNtsServer {
public:
    FakeNtsServer(const SivCipher& cipher, Bytes clientToServerKey, Bytes serverToClientKey);

    // The cookies handed out so far are "cookie-N"-like byte strings of this length.
    static constexpr std::size_t kCookieBytes = 100;
    Bytes nextCookie();

    // The answer to a request, or nothing when its authenticator does not verify or a field
    // is missing. nak: a kiss-o'-death NTSN instead.
    std::optional<Bytes> answer(ByteView request, const PacketBytes& replyPacket, bool nak = false);

private:
    const SivCipher& m_cipher;
    Bytes m_c2s;
    Bytes m_s2c;
    std::uint32_t m_cookiesIssued = 0;
};

}  // namespace korvel::test
