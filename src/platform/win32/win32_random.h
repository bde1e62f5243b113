#pragma once

#include "platform/random.h"

namespace korvel {

// The system's cryptographic random source, BCryptGenRandom.
class Win32Random final : public RandomSource {
public:
    std::uint32_t randomBits() override;
};

}  // namespace korvel
