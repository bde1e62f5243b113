#include "support/virtual_time.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace korvel::test {

namespace {

namespace chr = std::chrono;

std::uint16_t u16(auto value) {
    return static_cast<std::uint16_t>(value);
}

// Milliseconds since 1970-01-01 of a UTC record, and back, by the calendar of the standard
// library, independent of the program's own date arithmetic.
std::int64_t msSinceEpoch(const SystemTime& t) {
    const chr::sys_days day{chr::year{t.year} / t.month / t.day};
    const chr::seconds ofDay{(t.hour * 60 + t.minute) * 60 + t.second};
    return (chr::milliseconds{day.time_since_epoch() + ofDay} + chr::milliseconds{t.milliseconds})
        .count();
}

SystemTime systemTimeOf(std::int64_t ms) {
    const chr::sys_time<chr::milliseconds> time{chr::milliseconds{ms}};
    const auto day = chr::floor<chr::days>(time);
    const chr::year_month_day date{day};
    const chr::hh_mm_ss ofDay{time - day};
    return {u16(int{date.year()}),
            u16(unsigned{date.month()}),
            u16(chr::weekday{day}.c_encoding()),
            u16(unsigned{date.day()}),
            u16(ofDay.hours().count()),
            u16(ofDay.minutes().count()),
            u16(ofDay.seconds().count()),
            u16(ofDay.subseconds().count())};
}

}  // namespace

SystemTime utcTime(int year, int month, int day, int hour, int minute, int second,
                   int milliseconds) {
    return systemTimeOf(msSinceEpoch({u16(year), u16(month), 0, u16(day), u16(hour), u16(minute),
                                      u16(second), u16(milliseconds)}));
}

// Registered with the clock while it exists; the clock reads its fields.
class VirtualTimer final : public Timer {
public:
    explicit VirtualTimer(VirtualTime& time) : m_time(time) { time.m_timers.push_back(this); }
    ~VirtualTimer() override { std::erase(m_time.m_timers, this); }
    void setInterval(int ms) override {
        intervalMs = ms;
        rearm();
    }
    int interval() const override { return intervalMs; }
    void start() override {
        if (!running) {
            running = true;
            rearm();
        }
    }
    void stop() override { running = false; }
    bool isRunning() const override { return running; }
    void setTickHandler(std::function<void()> tick) override { handler = std::move(tick); }

    bool dueBy(std::int64_t ms) const { return running && intervalMs > 0 && deadline <= ms; }
    void rearm() { deadline = m_time.nowMs() + intervalMs; }

    std::function<void()> handler;
    int intervalMs = 0;
    bool running = false;
    std::int64_t deadline = 0;

private:
    VirtualTime& m_time;
};

VirtualTime::VirtualTime(const SystemTime& utcStart, int localOffsetMinutes)
    : m_utcMs(msSinceEpoch(utcStart)), m_localOffsetMinutes(localOffsetMinutes) {}

std::unique_ptr<Timer> VirtualTime::createTimer(TimerPrecision) {
    return std::make_unique<VirtualTimer>(*this);
}

SystemTime VirtualTime::getSystemTime() {
    return systemTimeOf(m_utcMs);
}

void VirtualTime::stepClock(double offsetSec, bool interactive,
                            std::function<void(ClockStepAnswer)> done) {
    m_clockSteps.push_back({offsetSec, interactive});
    auto answer = [this, offsetSec, outcome = stepAnswer, done = std::move(done)] {
        if (outcome.outcome == ClockStep::Stepped) {
            m_utcMs += std::llround(offsetSec * 1000);
        }
        done(outcome);
    };
    if (stepAnswerDelayMs == 0) {
        answer();
    } else {
        schedule(stepAnswerDelayMs, std::move(answer));
    }
}

SystemTime VirtualTime::getLocalTime() {
    return systemTimeOf(m_utcMs + m_localOffsetMinutes * 60'000LL);
}

void VirtualTime::schedule(std::int64_t afterMs, std::function<void()> action) {
    m_events.push_back({m_monotonicMs + afterMs, std::move(action)});
}

void VirtualTime::advance(std::int64_t ms) {
    const std::int64_t target = m_monotonicMs + ms;
    for (;;) {
        // Earliest due timer (creation order on ties).
        VirtualTimer* timer = nullptr;
        for (VirtualTimer* candidate : m_timers) {
            if (candidate->dueBy(target) && (!timer || candidate->deadline < timer->deadline)) {
                timer = candidate;
            }
        }
        // Earliest due event; events are kept in scheduling order, which breaks ties.
        const auto event = std::min_element(m_events.begin(), m_events.end(),
                                            [](auto& a, auto& b) { return a.dueMs < b.dueMs; });
        const bool eventDue = event != m_events.end() && event->dueMs <= target;
        if (timer && (!eventDue || timer->deadline <= event->dueMs)) {
            moveTo(timer->deadline);
            timer->rearm();
            if (timer->handler) {
                timer->handler();
            }
        } else if (eventDue) {
            moveTo(event->dueMs);
            auto action = std::move(event->action);
            m_events.erase(event);
            action();
        } else {
            break;
        }
    }
    moveTo(target);
}

void VirtualTime::moveTo(std::int64_t monotonicMs) {
    // Handlers that spent time (pass()) may leave the clock beyond a due time.
    if (monotonicMs <= m_monotonicMs) {
        return;
    }
    m_utcMs += monotonicMs - m_monotonicMs;
    m_monotonicMs = monotonicMs;
}

}  // namespace korvel::test
