#pragma once

#include <atomic>

#include "platform/nts_key_exchange.h"

namespace korvel {

// One NTS key exchange with OpenSSL 3, to its end: blocks up to the target's time-out, and
// returns soon after cancelled becomes true (as TimedOut).
NtsKeResult exchangeNtsKeys(const NtsKeTarget& target, const std::atomic<bool>& cancelled);

}  // namespace korvel
