#pragma once

#include "sntp/nts_packet.h"

namespace korvel {

// AES-SIV-CMAC-256 from libgcrypt, whose SIV also seals an empty plaintext (an NTS request's).
class GcryptSiv final : public SivCipher {
public:
    GcryptSiv();
    std::optional<Bytes> seal(ByteView key, const std::vector<ByteView>& headers,
                              ByteView plaintext) const override;
    std::optional<Bytes> open(ByteView key, const std::vector<ByteView>& headers,
                              ByteView sealed) const override;
};

}  // namespace korvel
