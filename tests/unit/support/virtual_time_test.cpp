#include "support/virtual_time.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvel::test {
namespace {

using testing::ElementsAre;
using Ticks = std::vector<std::string>;

// A virtual clock with three timers, a (1000 ms), b (1000 ms) and c (500 ms), created in that
// order, that write their name and the monotonic time of each tick.
struct Clockwork {
    Clockwork() {
        for (const auto& [name, intervalMs] : {std::pair{"a", 1000}, {"b", 1000}, {"c", 500}}) {
            auto& timer = timers.emplace_back(time.createTimer(TimerPrecision::Coarse));
            timer->setInterval(intervalMs);
            timer->setTickHandler([this, name = std::string(name)] {
                ticks.push_back(name + "@" + std::to_string(time.nowMs()));
            });
        }
    }
    Timer& a() { return *timers[0]; }
    Timer& b() { return *timers[1]; }
    Timer& c() { return *timers[2]; }

    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 8 * 60};
    std::vector<std::unique_ptr<Timer>> timers;
    Ticks ticks;
};

TEST(VirtualTime, TimersFollowWindowTimerRules) {
    const struct {
        const char* what;
        std::function<void(Clockwork&)> script;
        Ticks ticks;
    } cases[] = {
        {"ties tick in creation order, whatever the start order",
         [](Clockwork& w) {
             w.b().start();
             w.a().start();
             w.c().start();
             w.time.advance(1000);
         },
         {"c@500", "a@1000", "b@1000", "c@1000"}},
        {"a timer stopped by an earlier tick at the same moment does not tick",
         [](Clockwork& w) {
             w.a().setTickHandler([&w] { w.b().stop(); });
             w.a().start();
             w.b().start();
             w.time.advance(1000);
         },
         {}},
        {"stop then start restarts the countdown",
         [](Clockwork& w) {
             w.a().start();
             w.time.advance(700);
             w.a().stop();
             w.a().start();
             w.time.advance(1699);
         },
         {"a@1700"}},
        {"starting a running timer changes nothing",
         [](Clockwork& w) {
             w.a().start();
             w.time.advance(700);
             w.a().start();
             w.time.advance(300);
         },
         {"a@1000"}},
        {"interval 0 never ticks, also set on a running timer",
         [](Clockwork& w) {
             w.a().setInterval(0);
             w.a().start();
             w.c().start();
             w.time.advance(250);
             w.c().setInterval(0);
             w.time.advance(60'000);
         },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Clockwork w;
        c.script(w);
        EXPECT_EQ(w.ticks, c.ticks);
    }
}

TEST(VirtualTime, ScheduledEventsRunInOrderAfterTimersDueAtTheSameMoment) {
    Clockwork w;
    w.c().start();
    w.time.schedule(500, [&] { w.ticks.push_back("first"); });
    w.time.schedule(500, [&] { w.ticks.push_back("second"); });
    w.time.schedule(40, [&] {
        w.time.schedule(10, [&] { w.ticks.push_back("nested@" + std::to_string(w.time.nowMs())); });
    });
    w.time.advance(500);
    EXPECT_THAT(w.ticks, ElementsAre("nested@50", "c@500", "first", "second"));
}

TEST(VirtualTime, SettingTheWallClockMovesNoDeadline) {
    Clockwork w;
    w.a().start();
    w.time.advance(500);
    ASSERT_TRUE(w.time.setSystemTime(utcTime(2026, 12, 6, 0, 0, 0)));
    w.time.advance(499);
    EXPECT_TRUE(w.ticks.empty());
    w.time.advance(1);
    EXPECT_THAT(w.ticks, ElementsAre("a@1000"));
    // The wall clock went on from the value set; the local clock follows it.
    EXPECT_EQ(w.time.getSystemTime(), utcTime(2026, 12, 6, 0, 0, 0, 500));
    EXPECT_EQ(w.time.getLocalTime(), utcTime(2026, 12, 6, 8, 0, 0, 500));

    w.time.refuseClockSets(true);
    EXPECT_FALSE(w.time.setSystemTime(utcTime(2026, 12, 6, 2, 0, 0)));
    EXPECT_EQ(w.time.clockSets().size(), 1U);
}

}  // namespace
}  // namespace korvel::test
