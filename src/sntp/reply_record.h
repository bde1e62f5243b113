#pragma once

#include <array>
#include <cstdint>

namespace korvel {

// One reply of a burst: the four times in NTP seconds, and what the evaluation derives.
struct ReplyRecord {
    double t1 = 0.0;  // originate: our transmit time as echoed by the server
    double t2 = 0.0;  // server receive
    double t3 = 0.0;  // server transmit
    double t4 = 0.0;  // local arrival
    double offset = 0.0;
    double delay = 0.0;
    std::int16_t invalid = 0;    // 1 when the first byte was 96 or more (leap warning)
    std::int16_t server = 0;     // which server of the set answered
    bool authenticated = false;  // proven by the server's NTS keys
    friend bool operator==(const ReplyRecord&, const ReplyRecord&) = default;
};

// Records 1 to 25 hold a burst's replies; 0 and 26 to 32 are never written.
inline constexpr std::size_t kReplyRecordCount = 33;
using ReplyRecords = std::array<ReplyRecord, kReplyRecordCount>;

}  // namespace korvel
