#pragma once

#include <cstdint>

#include "sntp/sntp_packet.h"

namespace korvel {

struct MainForm;

inline constexpr int kRepliesPerBurst = 25;

// A server reply whose timestamps may be used: server mode, not a Kiss-o'-Death (stratum 0),
// and receive and transmit times whose seconds are set.
bool isUsableReply(const SntpPacket& packet);

// Arrival of a datagram of byteCount bytes. Only a 48-byte reply that answers an unanswered
// request of the current burst, with a transmit time not before its receive time and a delay
// not below zero by more than the clock's resolution, is counted and stored; the 25th
// completes the burst.
void datagramArrival(MainForm& form, std::int32_t byteCount);

}  // namespace korvel
