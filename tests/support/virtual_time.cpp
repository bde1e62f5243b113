#include "support/virtual_time.h"

#include <algorithm>
#include <limits>

#include "common/day_date.h"

namespace korvel::test {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kEpochDayNumber = 25569;  // 1970-01-01

}  // namespace

std::int64_t msSinceEpoch(const SystemTime& t) {
    const std::int64_t days = dayNumber(t.year, t.month, t.day) - kEpochDayNumber;
    return days * kMsPerDay + ((t.hour * 60 + t.minute) * 60 + t.second) * 1000LL + t.milliseconds;
}

SystemTime systemTimeOf(std::int64_t ms) {
    std::int64_t days = ms / kMsPerDay;
    std::int64_t ofDay = ms % kMsPerDay;
    if (ofDay < 0) {
        ofDay += kMsPerDay;
        --days;
    }
    const CivilDate date = civilDate(days + kEpochDayNumber);
    SystemTime t;
    t.year = static_cast<std::uint16_t>(date.year);
    t.month = static_cast<std::uint16_t>(date.month);
    t.day = static_cast<std::uint16_t>(date.day);
    t.dayOfWeek = static_cast<std::uint16_t>(dayOfWeek(days + kEpochDayNumber));
    t.hour = static_cast<std::uint16_t>(ofDay / 3'600'000);
    t.minute = static_cast<std::uint16_t>(ofDay / 60'000 % 60);
    t.second = static_cast<std::uint16_t>(ofDay / 1000 % 60);
    t.milliseconds = static_cast<std::uint16_t>(ofDay % 1000);
    return t;
}

SystemTime utcTime(int year, int month, int day, int hour, int minute, int second,
                   int milliseconds) {
    SystemTime t;
    t.year = static_cast<std::uint16_t>(year);
    t.month = static_cast<std::uint16_t>(month);
    t.day = static_cast<std::uint16_t>(day);
    t.hour = static_cast<std::uint16_t>(hour);
    t.minute = static_cast<std::uint16_t>(minute);
    t.second = static_cast<std::uint16_t>(second);
    t.milliseconds = static_cast<std::uint16_t>(milliseconds);
    t.dayOfWeek = static_cast<std::uint16_t>(dayOfWeek(dayNumber(year, month, day)));
    return t;
}

struct VirtualTime::TimerState {
    std::function<void()> handler;
    int interval = 0;
    bool running = false;
    std::int64_t deadline = 0;
    bool alive = true;
};

class VirtualTimer final : public Timer {
public:
    VirtualTimer(VirtualTime& time, std::shared_ptr<VirtualTime::TimerState> state)
        : m_time(time), m_state(std::move(state)) {}
    ~VirtualTimer() override { m_state->alive = false; }
    void setInterval(int intervalMs) override {
        m_state->interval = intervalMs;
        rearm();
    }
    int interval() const override { return m_state->interval; }
    void start() override {
        if (!m_state->running) {
            m_state->running = true;
            rearm();
        }
    }
    void stop() override { m_state->running = false; }
    bool isRunning() const override { return m_state->running; }
    void setTickHandler(std::function<void()> handler) override {
        m_state->handler = std::move(handler);
    }

private:
    void rearm() { m_state->deadline = m_time.nowMs() + m_state->interval; }
    VirtualTime& m_time;
    std::shared_ptr<VirtualTime::TimerState> m_state;
};

VirtualTime::VirtualTime(const SystemTime& utcStart, int localOffsetMinutes)
    : m_utcMs(msSinceEpoch(utcStart)), m_localOffsetMinutes(localOffsetMinutes) {}

VirtualTime::~VirtualTime() = default;

std::unique_ptr<Timer> VirtualTime::createTimer(TimerPrecision) {
    auto state = std::make_shared<TimerState>();
    m_timers.push_back(state);
    return std::make_unique<VirtualTimer>(*this, state);
}

SystemTime VirtualTime::getSystemTime() {
    return systemTimeOf(m_utcMs);
}

bool VirtualTime::setSystemTime(const SystemTime& utc) {
    SystemTime checked = utc;
    checked.dayOfWeek = 0;
    if (m_refuseSets || !isValid(checked)) {
        return false;
    }
    m_clockSets.push_back(utc);
    m_utcMs = msSinceEpoch(utc);
    return true;
}

SystemTime VirtualTime::getLocalTime() {
    return systemTimeOf(m_utcMs + m_localOffsetMinutes * 60'000LL);
}

void VirtualTime::schedule(std::int64_t afterMs, std::function<void()> action) {
    m_events.push_back({m_monotonicMs + afterMs, m_nextSequence++, std::move(action)});
}

void VirtualTime::advance(std::int64_t ms) {
    const std::int64_t target = m_monotonicMs + ms;
    for (;;) {
        // Earliest due timer (creation order on ties).
        TimerState* timer = nullptr;
        for (const auto& state : m_timers) {
            if (state->alive && state->running && state->interval > 0 &&
                state->deadline <= target && (!timer || state->deadline < timer->deadline)) {
                timer = state.get();
            }
        }
        // Earliest due event (scheduling order on ties).
        auto event = m_events.end();
        for (auto it = m_events.begin(); it != m_events.end(); ++it) {
            if (it->dueMs <= target &&
                (event == m_events.end() || it->dueMs < event->dueMs ||
                 (it->dueMs == event->dueMs && it->sequence < event->sequence))) {
                event = it;
            }
        }
        const bool timerFirst =
            timer && (event == m_events.end() || timer->deadline <= event->dueMs);
        if (timerFirst) {
            m_utcMs += timer->deadline - m_monotonicMs;
            m_monotonicMs = timer->deadline;
            timer->deadline = m_monotonicMs + timer->interval;
            if (timer->handler) {
                timer->handler();
            }
        } else if (event != m_events.end()) {
            m_utcMs += event->dueMs - m_monotonicMs;
            m_monotonicMs = event->dueMs;
            auto action = std::move(event->action);
            m_events.erase(event);
            action();
        } else {
            break;
        }
    }
    m_utcMs += target - m_monotonicMs;
    m_monotonicMs = target;
}

}  // namespace korvel::test
