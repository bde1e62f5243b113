#include "sntp/nts_packet.h"

#include <algorithm>

namespace korvel {

namespace {

constexpr std::size_t kFieldHeaderBytes = 4;

std::size_t padded(std::size_t length) {
    return (length + 3) / 4 * 4;
}

void append(Bytes& to, ByteView bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

struct Field {
    std::uint16_t type = 0;
    std::size_t offset = 0;  // of the field's header in the bytes read
    ByteView body;
};

// The extension fields that fill the bytes exactly; nothing when they do not.
std::optional<std::vector<Field>> fieldsOf(ByteView bytes, std::size_t offset) {
    std::vector<Field> fields;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < kFieldHeaderBytes) {
            return std::nullopt;
        }
        const std::size_t length = u16At(bytes, at + 2);
        if (length < kFieldHeaderBytes || length % 4 != 0 || length > bytes.size() - at) {
            return std::nullopt;
        }
        fields.push_back({u16At(bytes, at), offset + at,
                          bytes.subspan(at + kFieldHeaderBytes, length - kFieldHeaderBytes)});
        at += length;
    }
    return fields;
}

bool isType(const Field& field, NtsFieldType type) {
    return field.type == static_cast<std::uint16_t>(type);
}

bool sameBytes(ByteView a, ByteView b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// The nonce and the sealed bytes of an authenticator's body.
struct Authenticator {
    ByteView nonce;
    ByteView sealed;
};

std::optional<Authenticator> authenticatorOf(ByteView body) {
    if (body.size() < 4) {
        return std::nullopt;
    }
    const std::size_t nonceLength = u16At(body, 0);
    const std::size_t sealedLength = u16At(body, 2);
    if (padded(nonceLength) + padded(sealedLength) > body.size() - 4 || nonceLength == 0) {
        return std::nullopt;
    }
    return Authenticator{body.subspan(4, nonceLength),
                         body.subspan(4 + padded(nonceLength), sealedLength)};
}

bool isNtsNak(ByteView datagram) {
    constexpr std::uint8_t kNtsn[] = {'N', 'T', 'S', 'N'};
    return datagram[1] == 0 && sameBytes(datagram.subspan(12, 4), kNtsn);
}

}  // namespace

Bytes ntsField(NtsFieldType type, ByteView body) {
    Bytes field;
    putU16(field, static_cast<std::size_t>(type));
    putU16(field, kFieldHeaderBytes + padded(body.size()));
    append(field, body);
    field.resize(kFieldHeaderBytes + padded(body.size()), 0);
    return field;
}

std::optional<Bytes> ntsRequest(const PacketBytes& wirePacket, const NtsRequestParts& parts,
                                const SivCipher& cipher) {
    Bytes datagram(wirePacket.begin(), wirePacket.end());
    append(datagram, ntsField(NtsFieldType::UniqueIdentifier, parts.uniqueId));
    append(datagram, ntsField(NtsFieldType::Cookie, parts.cookie));
    const Bytes blank(parts.cookie.size(), 0);
    for (std::size_t i = 0; i < parts.placeholders; ++i) {
        append(datagram, ntsField(NtsFieldType::CookiePlaceholder, blank));
    }
    // Nothing to hide in a request: the authenticator seals an empty plaintext.
    const std::optional<Bytes> sealed =
        cipher.seal(parts.clientToServerKey, {datagram, parts.nonce}, {});
    if (!sealed.has_value()) {
        return std::nullopt;
    }
    Bytes body;
    putU16(body, parts.nonce.size());
    putU16(body, sealed->size());
    append(body, parts.nonce);
    body.resize(4 + padded(parts.nonce.size()), 0);
    append(body, *sealed);
    append(datagram, ntsField(NtsFieldType::Authenticator, body));
    return datagram;
}

NtsReply checkNtsReply(ByteView datagram, ByteView uniqueId, ByteView serverToClientKey,
                       const SivCipher& cipher) {
    NtsReply reply;
    if (datagram.size() < kPacketSize) {
        return reply;
    }
    const auto fields = fieldsOf(datagram.subspan(kPacketSize), kPacketSize);
    if (!fields.has_value()) {
        return reply;
    }
    // The authenticator must come last: whatever followed it would not be covered.
    const auto authenticator = std::find_if(fields->begin(), fields->end(), [](const Field& f) {
        return isType(f, NtsFieldType::Authenticator);
    });
    if (authenticator != fields->end() && authenticator + 1 != fields->end()) {
        return reply;
    }
    const auto ids = std::count_if(fields->begin(), fields->end(), [](const Field& f) {
        return isType(f, NtsFieldType::UniqueIdentifier);
    });
    const auto ours = std::find_if(fields->begin(), fields->end(), [&](const Field& f) {
        return isType(f, NtsFieldType::UniqueIdentifier) && sameBytes(f.body, uniqueId);
    });
    if (ids != 1 || ours == fields->end()) {
        reply.verdict = ids > 1 ? NtsReplyVerdict::Malformed : NtsReplyVerdict::WrongId;
        return reply;
    }
    if (authenticator == fields->end()) {
        reply.verdict =
            isNtsNak(datagram) ? NtsReplyVerdict::Nak : NtsReplyVerdict::NoAuthenticator;
        return reply;
    }
    const std::optional<Authenticator> parts = authenticatorOf(authenticator->body);
    if (!parts.has_value()) {
        return reply;
    }
    const std::optional<Bytes> plaintext = cipher.open(
        serverToClientKey, {datagram.first(authenticator->offset), parts->nonce}, parts->sealed);
    if (!plaintext.has_value()) {
        reply.verdict = NtsReplyVerdict::BadTag;
        return reply;
    }
    const auto hidden = fieldsOf(*plaintext, 0);
    if (!hidden.has_value()) {
        return reply;
    }
    for (const Field& field : *hidden) {
        if (isType(field, NtsFieldType::Cookie) && !field.body.empty()) {
            reply.cookies.emplace_back(field.body.begin(), field.body.end());
        }
    }
    reply.verdict = NtsReplyVerdict::Authentic;
    return reply;
}

}  // namespace korvel
