#pragma once

#include <cstdint>

namespace korvel {

// The system's cryptographic random source.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    // 32 bits nobody outside can predict; never blocks once the system has started.
    virtual std::uint32_t randomBits() = 0;
};

}  // namespace korvel
