#include "platform/posix/linux_clock_adjustment.h"

#include <sys/timex.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

namespace korvel {

namespace {

// The kernel's frequency unit: ppm with a 16-bit fraction.
constexpr double kFrequencyUnitsPerPpm = 65536.0;

AdjustmentRefusal adjust(timex& request) {
    if (::clock_adjtime(CLOCK_REALTIME, &request) >= 0) {
        return {};
    }
    return errno == EPERM ? "没有调整时钟的权限 (CAP_SYS_TIME)"
                          : std::string("clock_adjtime: ") + std::strerror(errno);
}

}  // namespace

std::optional<double> LinuxClockAdjustment::frequencyPpm() {
    timex request{};
    if (::clock_adjtime(CLOCK_REALTIME, &request) < 0) {
        return std::nullopt;
    }
    return static_cast<double>(request.freq) / kFrequencyUnitsPerPpm;
}

AdjustmentRefusal LinuxClockAdjustment::setFrequency(double ppm) {
    timex request{};
    // The kernel's phase and frequency loops off (no STA_PLL, STA_FLL, STA_PPS*), so that the
    // frequency stays what is set here.
    request.modes = ADJ_FREQUENCY | ADJ_STATUS;
    request.status = STA_UNSYNC;
    request.freq = std::lround(ppm * kFrequencyUnitsPerPpm);
    return adjust(request);
}

AdjustmentRefusal LinuxClockAdjustment::slew(double offsetSec) {
    // A single-shot request ignores every other mode bit: it goes alone.
    timex request{};
    request.modes = ADJ_OFFSET_SINGLESHOT;
    request.offset = std::lround(offsetSec * 1e6);
    return adjust(request);
}

AdjustmentRefusal LinuxClockAdjustment::reset() {
    const AdjustmentRefusal slewEnded = slew(0.0);
    const AdjustmentRefusal frequency = setFrequency(0.0);
    return slewEnded.empty() ? frequency : slewEnded;
}

}  // namespace korvel
