#include "support/virtual_time.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvel::test {
namespace {

using Ticks = std::vector<std::string>;

// Two 1000 ms timers, a and b, created in that order, that note their name and the monotonic
// time of each tick.
struct Clockwork {
    Clockwork() {
        for (const char name : {'a', 'b'}) {
            auto& timer = timers.emplace_back(time.createTimer(TimerPrecision::Coarse));
            timer->setInterval(1000);
            timer->setTickHandler(
                [this, name] { ticks.push_back(name + ("@" + std::to_string(time.nowMs()))); });
        }
    }
    Timer& a() { return *timers[0]; }
    Timer& b() { return *timers[1]; }

    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 8 * 60};
    std::vector<std::unique_ptr<Timer>> timers;
    Ticks ticks;
};

// The fake must keep the rules of the window timers it stands for, or the unit tests would
// prove behaviour the real program does not have. (That a stopped timer starts its countdown
// afresh, the burst suites show.)
TEST(VirtualTime, TimersFollowWindowTimerRules) {
    const struct {
        const char* what;
        std::function<void(Clockwork&)> steps;
        Ticks ticks;
    } cases[] = {
        {"ties tick in creation order, whatever the start order",
         [](Clockwork& w) {
             w.b().start();
             w.a().start();
             w.time.advance(1000);
         },
         {"a@1000", "b@1000"}},
        {"starting a running timer changes nothing",
         [](Clockwork& w) {
             w.a().start();
             w.time.advance(700);
             w.a().start();
             w.time.advance(300);
         },
         {"a@1000"}},
        {"stepping the wall clock, when the answer comes, moves no deadline",
         [](Clockwork& w) {
             w.time.stepAnswerDelayMs = 300;
             w.a().start();
             w.time.advance(200);
             w.time.stepClock(-3907.5, true, [](ClockStepAnswer) {});
             w.time.advance(299);
             EXPECT_EQ(w.time.getSystemTime(), utcTime(2026, 12, 6, 1, 5, 7, 499));
             w.time.advance(1001);
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
