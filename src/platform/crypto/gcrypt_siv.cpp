#include "platform/crypto/gcrypt_siv.h"

#include <gcrypt.h>

#include <cstdint>
#include <memory>
#include <mutex>

namespace korvel {

namespace {

constexpr std::size_t kTagBytes = GCRY_SIV_BLOCK_LEN;

struct CloseCipher {
    void operator()(gcry_cipher_hd_t handle) const { gcry_cipher_close(handle); }
};
using CipherHandle = std::unique_ptr<std::remove_pointer_t<gcry_cipher_hd_t>, CloseCipher>;

// A cipher with the key set and the headers taken in, S2V's strings in their order.
CipherHandle keyedCipher(ByteView key, const std::vector<ByteView>& headers) {
    gcry_cipher_hd_t raw = nullptr;
    // SIV's key is two AES keys: AES-128 each for the 256-bit variant.
    if (key.size() != kNtsKeyBytes ||
        gcry_cipher_open(&raw, GCRY_CIPHER_AES128, GCRY_CIPHER_MODE_SIV, 0) != 0) {
        return nullptr;
    }
    CipherHandle cipher(raw);
    if (gcry_cipher_setkey(raw, key.data(), key.size()) != 0) {
        return nullptr;
    }
    const std::uint8_t nothing = 0;
    for (const ByteView header : headers) {
        // An empty header is still one of S2V's strings; the library wants a pointer for it.
        if (gcry_cipher_authenticate(raw, header.empty() ? &nothing : header.data(),
                                     header.size()) != 0) {
            return nullptr;
        }
    }
    return cipher;
}

}  // namespace

GcryptSiv::GcryptSiv() {
    // The library wants its version checked once before any other call; without secure
    // memory, as keys live in ordinary memory elsewhere too.
    static std::once_flag initialised;
    std::call_once(initialised, [] {
        gcry_check_version(GCRYPT_VERSION);
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    });
}

std::optional<Bytes> GcryptSiv::seal(ByteView key, const std::vector<ByteView>& headers,
                                     ByteView plaintext) const {
    const CipherHandle cipher = keyedCipher(key, headers);
    // Never a null input: the library reads that as "encrypt the output buffer in place".
    const std::uint8_t nothing = 0;
    const std::uint8_t* input = plaintext.empty() ? &nothing : plaintext.data();
    Bytes sealed(kTagBytes + plaintext.size() + 1);
    if (!cipher ||
        gcry_cipher_encrypt(cipher.get(), sealed.data() + kTagBytes, plaintext.size() + 1, input,
                            plaintext.size()) != 0 ||
        gcry_cipher_gettag(cipher.get(), sealed.data(), kTagBytes) != 0) {
        return std::nullopt;
    }
    sealed.pop_back();
    return sealed;
}

std::optional<Bytes> GcryptSiv::open(ByteView key, const std::vector<ByteView>& headers,
                                     ByteView sealed) const {
    const CipherHandle cipher = keyedCipher(key, headers);
    if (!cipher || sealed.size() < kTagBytes ||
        gcry_cipher_set_decryption_tag(cipher.get(), sealed.data(), kTagBytes) != 0) {
        return std::nullopt;
    }
    Bytes plaintext(sealed.size() - kTagBytes + 1);
    if (gcry_cipher_decrypt(cipher.get(), plaintext.data(), plaintext.size(),
                            sealed.data() + kTagBytes, sealed.size() - kTagBytes) != 0) {
        return std::nullopt;
    }
    plaintext.pop_back();
    return plaintext;
}

}  // namespace korvel
