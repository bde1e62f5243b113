#include "platform/win32/win32_random.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

#include <random>

namespace korvel {

std::uint32_t Win32Random::randomBits() {
    std::uint32_t bits = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bits), sizeof bits,
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0) {
        return bits;
    }
    // Not expected on any supported system; the library's source is backed by the same one.
    return std::random_device{}();
}

}  // namespace korvel
