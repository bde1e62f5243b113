#include "sntp/nts_packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/crypto/gcrypt_siv.h"
#include "support/fake_nts_server.h"

namespace korvel {
namespace {

const Bytes kC2s(32, 0x11);
const Bytes kS2c(32, 0x22);
const Bytes kUniqueId(32, 0x5A);
const Bytes kNonce(16, 0x4E);
const Bytes kCookie(100, 0xC0);

PacketBytes wirePacket(std::uint8_t fill) {
    PacketBytes packet{};
    packet.fill(fill);
    packet[0] = 0x23;
    return packet;
}

Bytes request(const SivCipher& siv, std::size_t placeholders, const Bytes& id = kUniqueId) {
    return *ntsRequest(wirePacket(0), {id, kCookie, placeholders, kNonce, kC2s}, siv);
}

TEST(NtsPacket, RequestCarriesIdCookiePlaceholdersAndAuthenticator) {
    const GcryptSiv siv;
    test::FakeNtsServer server(siv, kC2s, kS2c);
    const PacketBytes packet = wirePacket(0);
    for (const std::size_t placeholders : {0u, 1u, 7u}) {
        const Bytes datagram = request(siv, placeholders);
        // 48-byte packet, identifier 36, cookie 104, placeholders as long, authenticator 40.
        EXPECT_EQ(datagram.size(), 228 + 104 * placeholders);
        EXPECT_EQ(Bytes(datagram.begin(), datagram.begin() + 48),
                  Bytes(packet.begin(), packet.end()));
        const auto reply = server.answer(datagram, wirePacket(4));
        ASSERT_TRUE(reply.has_value()) << placeholders;
        EXPECT_EQ(checkNtsReply(*reply, kUniqueId, kS2c, siv).cookies.size(), placeholders + 1);
    }
    Bytes altered = request(siv, 0);
    altered[45] ^= 1;
    EXPECT_EQ(server.answer(altered, wirePacket(4)), std::nullopt);
    EXPECT_EQ(ntsRequest(wirePacket(0), {kUniqueId, kCookie, 0, kNonce, Bytes(16, 1)}, siv),
              std::nullopt);
}

TEST(NtsPacket, ReplyCountsOnlyWithOurIdentifierAndAVerifiedTag) {
    const GcryptSiv siv;
    test::FakeNtsServer server(siv, kC2s, kS2c);
    const Bytes reply = *server.answer(request(siv, 2), wirePacket(4));
    const Bytes nak = *server.answer(request(siv, 0), wirePacket(4), true);
    const Bytes otherReply = *server.answer(request(siv, 0, Bytes(32, 1)), wirePacket(4));
    const auto changed = [](Bytes bytes, std::size_t at) {
        bytes[at] ^= 0x01;
        return bytes;
    };
    const auto cut = [&reply](std::size_t size) {
        return Bytes(reply.begin(), reply.begin() + size);
    };
    Bytes longer = reply;
    longer.insert(longer.end(), {0x12, 0x34, 0, 4});
    Bytes twoIds = reply;
    twoIds.insert(twoIds.begin() + 48, reply.begin() + 48, reply.begin() + 48 + 36);
    using enum NtsReplyVerdict;
    const struct {
        std::string name;
        Bytes datagram;
        ByteView key;
        NtsReplyVerdict verdict;
    } cases[] = {
        {"as sent", reply, kS2c, Authentic},
        {"transmit time altered", changed(reply, 43), kS2c, BadTag},
        {"sealed cookies altered", changed(reply, reply.size() - 1), kS2c, BadTag},
        {"another key", reply, kC2s, BadTag},
        {"the answer to another request", otherReply, kS2c, WrongId},
        {"identifier altered", changed(reply, 60), kS2c, WrongId},
        {"a plain SNTP reply", cut(48), kS2c, WrongId},
        {"kiss code NTSN", nak, kS2c, Nak},
        {"NTSN for another request", changed(nak, 60), kS2c, WrongId},
        {"identifier without authenticator", cut(48 + 36), kS2c, NoAuthenticator},
        {"shorter than a packet", cut(47), kS2c, Malformed},
        {"a field after the authenticator", longer, kS2c, Malformed},
        {"a field length that overruns", changed(reply, 48 + 2), kS2c, Malformed},
        {"a field length not a multiple of four", changed(reply, 48 + 3), kS2c, Malformed},
        {"two identifiers", twoIds, kS2c, Malformed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkNtsReply(c.datagram, kUniqueId, c.key, siv).verdict, c.verdict) << c.name;
    }
    const NtsReply authentic = checkNtsReply(reply, kUniqueId, kS2c, siv);
    ASSERT_EQ(authentic.cookies.size(), 3u);
    EXPECT_EQ(authentic.cookies[0].size(), test::FakeNtsServer::kCookieBytes);
    EXPECT_NE(authentic.cookies[0], authentic.cookies[1]);
}

}  // namespace
}  // namespace korvel
