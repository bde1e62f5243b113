#include "sntp/rate_holds.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace korvel {

RateHolds parseRateHolds(const std::string& line, double nowNtpSec) {
    RateHolds holds;
    std::istringstream words(line);
    std::string server;
    std::string end;
    while (words >> server >> end) {
        char* stop = nullptr;
        const double until = static_cast<double>(std::strtoll(end.c_str(), &stop, 10)) / 1000;
        if (stop != end.c_str() && *stop == '\0' && until > nowNtpSec) {
            holds[server] = std::min(until, nowNtpSec + kRateHoldSec);
        }
    }
    return holds;
}

std::string formatRateHolds(const RateHolds& holds) {
    std::string line;
    for (const auto& [server, until] : holds) {
        // Whole milliseconds: no decimal point for a locale to change.
        line +=
            (line.empty() ? "" : " ") + server + " " + std::to_string(std::llround(until * 1000));
    }
    return line;
}

}  // namespace korvel
