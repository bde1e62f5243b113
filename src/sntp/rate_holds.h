#pragma once

#include <map>
#include <string>

namespace korvel {

// How long a server that answered RATE is not asked again.
inline constexpr double kRateHoldSec = 64.0;

// Servers that asked for fewer requests, each with the end of its hold in NTP seconds.
using RateHolds = std::map<std::string, double>;

// The holds a line keeps, as formatRateHolds wrote it: those over by nowNtpSec are dropped, and
// none lasts beyond kRateHoldSec from now (a clock set back never holds a server for long).
RateHolds parseRateHolds(const std::string& line, double nowNtpSec);
// "server end server end ...", each end in whole milliseconds.
std::string formatRateHolds(const RateHolds& holds);

}  // namespace korvel
