#pragma once

#include <chrono>
#include <vector>

#include "platform/timer.h"
#include "platform/win32/win32_message_window.h"

namespace korvel {

class Win32Timer;

// Window timers on the message window's loop. One system timer is armed for the earliest
// deadline of all; a tick that arrives before a deadline (the system rounds timers to its
// tick) only re-arms, so no timer ever fires early. Deadlines run on the monotonic clock.
class Win32TimerService final : public TimerService {
public:
    explicit Win32TimerService(MessageWindow& window);
    ~Win32TimerService() override;
    std::unique_ptr<Timer> createTimer(TimerPrecision precision) override;

private:
    friend class Win32Timer;
    using Clock = std::chrono::steady_clock;

    void rearm();
    void fireDue();
    void forget(Win32Timer* timer);

    MessageWindow& m_window;
    std::vector<Win32Timer*> m_timers;
    bool m_fineResolution = false;
};

}  // namespace korvel
