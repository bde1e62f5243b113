#pragma once

#include "platform/timer.h"

namespace korvel {

// Window timers on QTimer, ticking in the thread's event loop.
class QtTimerService final : public TimerService {
public:
    std::unique_ptr<Timer> createTimer(TimerPrecision precision) override;
};

}  // namespace korvel
