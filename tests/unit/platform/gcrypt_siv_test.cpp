#include "platform/crypto/gcrypt_siv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_nts_server.h"

namespace korvel {
namespace {

using test::hexBytes;

constexpr std::size_t kTagBytes = 16;

struct SivVector {
    std::string name;
    Bytes key;
    std::vector<Bytes> headers;
    Bytes plaintext;
    Bytes sealed;
};

std::vector<ByteView> views(const std::vector<Bytes>& headers) {
    return {headers.begin(), headers.end()};
}

TEST(GcryptSiv, SealsAndOpensThePublishedVectors) {
    const std::vector<SivVector> vectors = {
        {"RFC 5297 A.1",
         hexBytes("fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff"),
         {hexBytes("101112131415161718191a1b1c1d1e1f2021222324252627")},
         hexBytes("112233445566778899aabbccddee"),
         hexBytes("85632d07c6e8f37f950acd320a2ecc9340c02b9690c4dc04daef7f6afe5c")},
        {"RFC 5297 A.2, the nonce as the last header",
         hexBytes("7f7e7d7c7b7a79787776757473727170404142434445464748494a4b4c4d4e4f"),
         {hexBytes("00112233445566778899aabbccddeeffdeaddadadeaddadaffeeddccbbaa99887766554433"
                   "221100"),
          hexBytes("102030405060708090a0"), hexBytes("09f911029d74e35bd84156c5635688c0")},
         hexBytes("7468697320697320736f6d6520706c61696e7465787420746f20656e6372797074207573696e"
                  "67205349562d414553"),
         hexBytes("7bdb6e3b432667eb06f4d14bff2fbd0fcb900f2fddbe404326601965c889bf17dba77ceb094f"
                  "a663b7a3f748ba8af829ea64ad544a272e9c485b62a3fd5c0d")},
        // An NTS request seals nothing: the tag alone (Wycheproof's AES-SIV-CMAC case 2).
        {"empty plaintext",
         hexBytes("2b27e429fb6c02678e589ccc4437c5adfb44b331ab6d21ea321727e6ec03d354"),
         {Bytes{}},
         {},
         hexBytes("b2b2354e3724dcdaa85ecf029b49a90c")},
    };
    const GcryptSiv siv;
    for (const SivVector& v : vectors) {
        EXPECT_EQ(siv.seal(v.key, views(v.headers), v.plaintext), v.sealed) << v.name;
        EXPECT_EQ(siv.open(v.key, views(v.headers), v.sealed), v.plaintext) << v.name;
    }
}

TEST(GcryptSiv, RefusesWhatDoesNotVerifyAndKeysOfAnotherLength) {
    const GcryptSiv siv;
    const Bytes key(32, 7);
    const Bytes header = {1, 2, 3};
    const Bytes sealed = *siv.seal(key, {header}, Bytes{9, 9});
    Bytes flipped = sealed;
    flipped[kTagBytes + 1] ^= 1;  // the second byte of the ciphertext
    Bytes tagFlipped = sealed;
    tagFlipped.front() ^= 0x80;
    const Bytes otherHeader = {1, 2, 4};
    EXPECT_EQ(siv.open(key, {header}, flipped), std::nullopt);
    EXPECT_EQ(siv.open(key, {header}, tagFlipped), std::nullopt);
    EXPECT_EQ(siv.open(key, {otherHeader}, sealed), std::nullopt);
    EXPECT_EQ(siv.open(Bytes(32, 8), {header}, sealed), std::nullopt);
    EXPECT_EQ(siv.open(key, {header}, ByteView(sealed).first(15)), std::nullopt);
    EXPECT_EQ(siv.seal(Bytes(16, 7), {header}, Bytes{}), std::nullopt);
    EXPECT_EQ(siv.open(Bytes(64, 7), {header}, sealed), std::nullopt);
}

}  // namespace
}  // namespace korvel
