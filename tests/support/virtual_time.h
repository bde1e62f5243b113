#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/random.h"
#include "platform/timer.h"

namespace korvel::test {

class VirtualTimer;

// One virtual clock for timers, the wall clock and the fake network. advance() moves time
// forward and runs what falls due in deadline order: timer ticks first, in the order the
// timers were created, then scheduled events in the order they were scheduled. Timers run on
// monotonic time, so setting the wall clock (as a correction does) never moves a deadline.
class VirtualTime final : public TimerService,
                          public SystemClock,
                          public LocalClock,
                          public SteadyClock,
                          public RandomSource {
public:
    VirtualTime(const SystemTime& utcStart, int localOffsetMinutes);

    std::unique_ptr<Timer> createTimer(TimerPrecision precision) override;
    SystemTime getSystemTime() override;
    void stepClock(double offsetSec, bool interactive,
                   std::function<void(ClockStepAnswer)> done) override;
    SystemTime getLocalTime() override;
    std::string competingTimeService() override { return otherTimeService; }
    bool holdsRightToStep() override { return rightToStep; }
    bool rightToStep = false;
    PairedReading readPaired() override { return {m_utcMs * 1'000'000, m_monotonicMs}; }
    std::int64_t readingResolutionNs() override { return resolutionNs; }
    std::int64_t resolutionNs = 1'000'000;  // the readings are whole milliseconds
    // The bits a test fixes, so requests stay byte for byte predictable.
    std::uint32_t randomBits() override { return fixedRandomBits; }
    std::uint32_t fixedRandomBits = 0;

    void advance(std::int64_t ms);
    // Time a handler spends: both clocks move on, and what falls due meanwhile runs at the next
    // advance(), once the handler has returned.
    void pass(std::int64_t ms) { moveTo(m_monotonicMs + ms); }
    // Runs action at monotonic time now + afterMs.
    void schedule(std::int64_t afterMs, std::function<void()> action);
    std::int64_t nowMs() const { return m_monotonicMs; }

    // The wall clock in milliseconds since 1970-01-01 UTC.
    std::int64_t utcMs() const { return m_utcMs; }
    void stepWallClock(std::int64_t deltaMs) { m_utcMs += deltaMs; }

    // How the system answers a step (Stepped moves the wall clock), and after how long: 0
    // answers before stepClock returns, as a direct call does.
    ClockStepAnswer stepAnswer;
    std::int64_t stepAnswerDelayMs = 0;
    struct StepCall {
        double offsetSec;
        bool interactive;
    };
    const std::vector<StepCall>& clockSteps() const { return m_clockSteps; }
    // Another time service said to run on the machine; empty for none.
    std::string otherTimeService;

private:
    friend class VirtualTimer;
    void moveTo(std::int64_t monotonicMs);
    std::int64_t m_monotonicMs = 0;
    std::int64_t m_utcMs;
    int m_localOffsetMinutes;
    std::vector<StepCall> m_clockSteps;
    std::vector<VirtualTimer*> m_timers;  // the live ones, in creation order
    struct Event {
        std::int64_t dueMs;
        std::function<void()> action;
    };
    std::vector<Event> m_events;
};

// A UTC record, its weekday filled in.
SystemTime utcTime(int year, int month, int day, int hour, int minute, int second,
                   int milliseconds = 0);

}  // namespace korvel::test
