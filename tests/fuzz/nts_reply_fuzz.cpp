// libFuzzer target for NTS replies: a genuine reply of a server, changed by the input, against
// the client's check.
//
// The input is a list of changes:
//   byte 0      the reply is cut to (byte 0) bytes less than it is, when below its length
//   then per 3 bytes: a position (big-endian, modulo the reply's length) and a mask XORed in
//   a last 1 or 2 bytes are appended to the reply
//
// Property checked (a violation aborts): the reply counts as authentic exactly when it is
// unchanged, and then gives back the cookies the server sealed.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/crypto/gcrypt_siv.h"
#include "support/fake_nts_server.h"

namespace {

void require(bool property) {
    if (!property) {
        std::abort();
    }
}

struct Genuine {
    korvel::GcryptSiv siv;
    korvel::Bytes id = korvel::Bytes(korvel::kNtsUniqueIdBytes, 0x33);
    korvel::Bytes c2s = korvel::Bytes(korvel::kNtsKeyBytes, 0x44);
    korvel::Bytes s2c = korvel::Bytes(korvel::kNtsKeyBytes, 0x55);
    korvel::Bytes reply;

    Genuine() {
        korvel::test::FakeNtsServer server(siv, c2s, s2c);
        korvel::PacketBytes packet{};
        packet[0] = 0x23;
        const korvel::Bytes cookie(100, 0xC0);
        const korvel::Bytes nonce(korvel::kNtsNonceBytes, 0x66);
        const auto request = korvel::ntsRequest(packet, {id, cookie, 2, nonce, c2s}, siv);
        packet[0] = 0x24;
        reply = *server.answer(*request, packet);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Genuine genuine;
    korvel::Bytes reply = genuine.reply;
    bool changed = false;
    std::size_t at = 0;
    if (size > 0 && data[0] != 0 && data[0] < reply.size()) {
        reply.resize(reply.size() - data[0]);
        changed = true;
    }
    for (at = 1; at + 3 <= size; at += 3) {
        const std::size_t position = (std::size_t{data[at]} << 8 | data[at + 1]) % reply.size();
        reply[position] ^= data[at + 2];
        changed = changed || data[at + 2] != 0;
    }
    for (; at < size; ++at) {
        reply.push_back(data[at]);
        changed = true;
    }
    // Changes may cancel out: what counts is whether the bytes differ.
    changed = changed && reply != genuine.reply;
    const korvel::NtsReply checked =
        korvel::checkNtsReply(reply, genuine.id, genuine.s2c, genuine.siv);
    require((checked.verdict == korvel::NtsReplyVerdict::Authentic) == !changed);
    require(changed || checked.cookies.size() == 3);
    return 0;
}
