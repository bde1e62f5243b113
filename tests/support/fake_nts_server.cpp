#include "support/fake_nts_server.h"

#include <string>

namespace korvel::test {

namespace {

std::size_t word16(ByteView bytes, std::size_t at) {
    return std::size_t{bytes[at]} << 8 | bytes[at + 1];
}

void put16(Bytes& bytes, std::size_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value));
}

// A field whose body is already a multiple of four bytes long.
void putField(Bytes& to, std::uint16_t type, ByteView body) {
    put16(to, type);
    put16(to, 4 + body.size());
    to.insert(to.end(), body.begin(), body.end());
}

}  // namespace

Bytes hexBytes(std::string_view hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

FakeNtsServer::FakeNtsServer(const SivCipher& cipher, Bytes clientToServerKey,
                             Bytes serverToClientKey)
    : m_cipher(cipher), m_c2s(std::move(clientToServerKey)), m_s2c(std::move(serverToClientKey)) {}

Bytes FakeNtsServer::nextCookie() {
    Bytes cookie(kCookieBytes, 0xC0);
    const std::uint32_t n = ++m_cookiesIssued;
    for (std::size_t i = 0; i < 4; ++i) {
        cookie[i] = static_cast<std::uint8_t>(n >> (8 * i));
    }
    return cookie;
}

std::optional<Bytes> FakeNtsServer::answer(ByteView request, const PacketBytes& replyPacket,
                                           bool nak) {
    ByteView uniqueId;
    std::size_t cookies = 0;
    std::optional<std::size_t> authenticatorAt;
    for (std::size_t at = kPacketSize; at + 4 <= request.size();) {
        const std::size_t type = word16(request, at);
        const std::size_t length = word16(request, at + 2);
        if (length < 4 || at + length > request.size()) {
            return std::nullopt;
        }
        const ByteView body = request.subspan(at + 4, length - 4);
        if (type == 0x0104) {
            uniqueId = body;
        } else if (type == 0x0204 || type == 0x0304) {
            ++cookies;
        } else if (type == 0x0404) {
            authenticatorAt = at;
            const std::size_t nonceLength = word16(body, 0);
            const std::size_t sealedLength = word16(body, 2);
            const ByteView nonce = body.subspan(4, nonceLength);
            const ByteView sealed = body.subspan(4 + (nonceLength + 3) / 4 * 4, sealedLength);
            if (!m_cipher.open(m_c2s, {request.first(at), nonce}, sealed).has_value()) {
                return std::nullopt;
            }
        }
        at += length;
    }
    if (uniqueId.empty() || cookies == 0 || !authenticatorAt.has_value()) {
        return std::nullopt;
    }
    Bytes reply(replyPacket.begin(), replyPacket.end());
    if (nak) {
        reply[1] = 0;
        reply[12] = 'N', reply[13] = 'T', reply[14] = 'S', reply[15] = 'N';
    }
    putField(reply, 0x0104, uniqueId);
    if (nak) {
        return reply;
    }
    Bytes plaintext;
    for (std::size_t i = 0; i < cookies; ++i) {
        putField(plaintext, 0x0204, nextCookie());
    }
    const Bytes nonce(16, static_cast<std::uint8_t>(m_cookiesIssued));
    const std::optional<Bytes> sealed = m_cipher.seal(m_s2c, {reply, nonce}, plaintext);
    Bytes body;
    put16(body, nonce.size());
    put16(body, sealed->size());
    body.insert(body.end(), nonce.begin(), nonce.end());
    body.insert(body.end(), sealed->begin(), sealed->end());
    body.resize((body.size() + 3) / 4 * 4, 0);
    putField(reply, 0x0404, body);
    return reply;
}

}  // namespace korvel::test
