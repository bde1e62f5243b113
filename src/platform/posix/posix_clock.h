#pragma once

#include "platform/clock.h"

namespace korvel {

// CLOCK_REALTIME; setting it needs CAP_SYS_TIME.
class PosixClock final : public SystemClock, public LocalClock {
public:
    SystemTime getSystemTime() override;
    bool setSystemTime(const SystemTime& utc) override;
    std::string competingTimeService() override;
    SystemTime getLocalTime() override;
};

}  // namespace korvel
