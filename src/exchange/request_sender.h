#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace korvel {

struct MainForm;

// The transmit timestamp's fraction bits below the millisecond: random in every request, so
// that a reply must have seen the request to match it.
inline constexpr std::uint32_t kRandomFractionMask = (1u << 22) - 1;

// Timer1: one SNTP request per tick to the server whose turn it is, 30 per burst; the 31st
// tick, or the first on which no server may be asked, stops the timer.
void requestTick(MainForm& form);

// The system clock read for the current burst, paired with the monotonic clock. When the
// reading shows that the clock stepped since the burst's previous one, the requests sent
// before and the replies counted are forgotten, so a burst is never evaluated across a step.
PairedReading burstClockReading(MainForm& form);

// The burst is over (evaluated, rejected, timed out or applied): no further requests leave and
// replies to the ones sent change nothing.
void forgetBurst(MainForm& form);

}  // namespace korvel
