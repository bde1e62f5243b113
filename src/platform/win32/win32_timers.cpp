#include "platform/win32/win32_timers.h"

#include <timeapi.h>

#include <algorithm>

namespace korvel {

namespace {

constexpr UINT_PTR kSystemTimerId = 1;

}  // namespace

class Win32Timer final : public Timer {
public:
    Win32Timer(Win32TimerService& service) : m_service(service) {}
    ~Win32Timer() override { m_service.forget(this); }

    void setInterval(int intervalMs) override {
        m_interval = intervalMs;
        restart();
    }
    int interval() const override { return m_interval; }
    void start() override {
        if (!m_running) {
            m_running = true;
            restart();
        }
    }
    void stop() override {
        m_running = false;
        m_service.rearm();
    }
    bool isRunning() const override { return m_running; }
    void setTickHandler(std::function<void()> handler) override { m_handler = std::move(handler); }

private:
    friend class Win32TimerService;
    using Clock = Win32TimerService::Clock;

    bool armed() const { return m_running && m_interval > 0; }
    void restart() {
        m_deadline = Clock::now() + std::chrono::milliseconds(m_interval);
        m_service.rearm();
    }

    Win32TimerService& m_service;
    std::function<void()> m_handler;
    Clock::time_point m_deadline;
    int m_interval = 0;
    bool m_running = false;
};

Win32TimerService::Win32TimerService(MessageWindow& window) : m_window(window) {
    m_window.handle(WM_TIMER, [this](WPARAM id, LPARAM) {
        if (id == kSystemTimerId) {
            fireDue();
        }
    });
}

Win32TimerService::~Win32TimerService() {
    KillTimer(m_window.handle(), kSystemTimerId);
    m_window.handle(WM_TIMER, nullptr);
    if (m_fineResolution) {
        timeEndPeriod(1);
    }
}

std::unique_ptr<Timer> Win32TimerService::createTimer(TimerPrecision precision) {
    // Precise timers need the system's 1 ms tick instead of its default 15.6 ms.
    if (precision == TimerPrecision::Precise && !m_fineResolution) {
        m_fineResolution = timeBeginPeriod(1) == TIMERR_NOERROR;
    }
    auto timer = std::make_unique<Win32Timer>(*this);
    m_timers.push_back(timer.get());
    return timer;
}

void Win32TimerService::forget(Win32Timer* timer) {
    std::erase(m_timers, timer);
    rearm();
}

void Win32TimerService::rearm() {
    Win32Timer* earliest = nullptr;
    for (Win32Timer* timer : m_timers) {
        if (timer->armed() && (earliest == nullptr || timer->m_deadline < earliest->m_deadline)) {
            earliest = timer;
        }
    }
    if (earliest == nullptr) {
        KillTimer(m_window.handle(), kSystemTimerId);
        return;
    }
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(earliest->m_deadline - Clock::now());
    // Resetting the same timer id replaces the pending countdown.
    SetTimer(m_window.handle(), kSystemTimerId,
             static_cast<UINT>(std::max<std::chrono::milliseconds::rep>(wait.count(), 1)), nullptr);
}

void Win32TimerService::fireDue() {
    const Clock::time_point now = Clock::now();
    // One tick per due timer per pass, earliest first; the list is scanned afresh each time
    // because a handler may stop, start or destroy any timer.
    for (;;) {
        Win32Timer* due = nullptr;
        for (Win32Timer* timer : m_timers) {
            if (timer->armed() && timer->m_deadline <= now &&
                (due == nullptr || timer->m_deadline < due->m_deadline)) {
                due = timer;
            }
        }
        if (due == nullptr) {
            break;
        }
        // The next tick an interval after this one was due; ticks missed while the loop was
        // busy are dropped, not delivered in a burst.
        due->m_deadline += std::chrono::milliseconds(due->m_interval);
        if (due->m_deadline <= now) {
            due->m_deadline = now + std::chrono::milliseconds(due->m_interval);
        }
        // Armed before the handler runs, so a modal loop inside it keeps the ticks coming.
        rearm();
        if (due->m_handler) {
            const auto handler = due->m_handler;
            handler();
        }
    }
    rearm();
}

}  // namespace korvel
