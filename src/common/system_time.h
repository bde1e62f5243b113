#pragma once

#include <cstdint>

namespace korvel {

// The platform's clock record: UTC when it comes from the system clock, local time when it
// comes from the local clock. Field order and widths follow the record the clock calls use.
struct SystemTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;      // 1..12
    std::uint16_t dayOfWeek = 0;  // 0 = Sunday
    std::uint16_t day = 0;        // 1..31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;

    friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

}  // namespace korvel
