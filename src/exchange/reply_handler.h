#pragma once

#include <cstdint>
#include <optional>

namespace korvel {

struct MainForm;

inline constexpr int kRepliesPerBurst = 25;

// Arrival of a datagram of byteCount bytes from a server of the set, with the system's stamp
// of its arrival where there is one. Only a 48-byte reply that answers an unanswered request
// of the current burst to that server, with a transmit time not before its receive time and a
// delay not below zero by more than the clock's resolution, is counted and stored; the 25th
// completes the burst. A kiss-o'-death that answers such a request is never counted: RATE
// holds the server back for 64 s (in a file, so other runs honour it too), DENY and RSTR for
// the rest of the run.
void datagramArrival(MainForm& form, std::int32_t byteCount, int server,
                     std::optional<std::int64_t> receivedUtcNs);

}  // namespace korvel
