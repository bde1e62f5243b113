#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace korvel {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// 16-bit numbers in network byte order, as NTS records and extension fields carry them.
inline void putU16(Bytes& bytes, std::size_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value >> 8 & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

inline std::uint16_t u16At(ByteView bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

}  // namespace korvel
