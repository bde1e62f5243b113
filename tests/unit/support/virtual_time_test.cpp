#include "support/virtual_time.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvel::test {
namespace {

using Ticks = std::vector<std::string>;

// A virtual clock with three timers, a (1000 ms), b (1000 ms) and c (500 ms), created in that
// order, that write their name and the monotonic time of each tick. Steps chain.
struct Clockwork {
    Clockwork() {
        for (const auto& entry : {std::pair{'a', 1000}, {'b', 1000}, {'c', 500}}) {
            auto& timer = timers.emplace_back(time.createTimer(TimerPrecision::Coarse));
            timer->setInterval(entry.second);
            timer->setTickHandler([this, name = entry.first] { note(std::string(1, name)); });
        }
    }
    void note(const std::string& name) {
        ticks.push_back(name + "@" + std::to_string(time.nowMs()));
    }
    Timer& timer(char name) { return *timers.at(static_cast<std::size_t>(name - 'a')); }
    Clockwork& start(const std::string& names) {
        for (const char name : names) {
            timer(name).start();
        }
        return *this;
    }
    Clockwork& advance(std::int64_t ms) {
        time.advance(ms);
        return *this;
    }
    Clockwork& event(std::int64_t afterMs, std::string name) {
        time.schedule(afterMs, [this, name] { note(name); });
        return *this;
    }

    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 8 * 60};
    std::vector<std::unique_ptr<Timer>> timers;
    Ticks ticks;
};

// The fake must keep the rules of the window timers it stands for, or the unit tests would
// prove behaviour the real program does not have.
TEST(VirtualTime, TimersAndEventsFollowWindowTimerRules) {
    const struct {
        const char* what;
        std::function<void(Clockwork&)> steps;
        Ticks ticks;
    } cases[] = {
        {"ties tick in creation order, whatever the start order",
         [](Clockwork& w) { w.start("bca").advance(1000); },
         {"c@500", "a@1000", "b@1000", "c@1000"}},
        {"stop then start restarts the countdown",
         [](Clockwork& w) {
             w.start("a").advance(700).timer('a').stop();
             w.start("a").advance(1699);
         },
         {"a@1700"}},
        {"starting a running timer changes nothing",
         [](Clockwork& w) { w.start("a").advance(700).start("a").advance(300); },
         {"a@1000"}},
        {"interval 0 never ticks, also when set on a running timer",
         [](Clockwork& w) {
             w.timer('a').setInterval(0);
             w.start("ac").advance(250).timer('c').setInterval(0);
             w.advance(9000);
         },
         {}},
        {"events run in scheduling order, after timers due at the same moment",
         [](Clockwork& w) {
             w.start("c").event(500, "first").event(500, "second");
             w.time.schedule(40, [&w] { w.event(10, "nested"); });
             w.advance(500);
         },
         {"nested@50", "c@500", "first@500", "second@500"}},
        {"stepping the wall clock, when the answer comes, moves no deadline",
         [](Clockwork& w) {
             w.time.stepAnswerDelayMs = 300;
             w.start("a").advance(200);
             w.time.stepClock(-3907.5, true,
                              [](ClockStepAnswer s) { EXPECT_EQ(s.outcome, ClockStep::Stepped); });
             w.advance(299);
             EXPECT_EQ(w.time.getSystemTime(), utcTime(2026, 12, 6, 1, 5, 7, 499));
             w.advance(1001);
             EXPECT_EQ(w.time.getSystemTime(), utcTime(2026, 12, 6, 0, 0, 1));
             EXPECT_EQ(w.time.getLocalTime(), utcTime(2026, 12, 6, 8, 0, 1));
         },
         {"a@1000"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Clockwork w;
        c.steps(w);
        EXPECT_EQ(w.ticks, c.ticks);
    }
}

}  // namespace
}  // namespace korvel::test
