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
// order, that write their name and the monotonic time of each tick. Steps chain.
struct Clockwork {
    Clockwork() {
        for (const auto& entry : {std::pair{'a', 1000}, {'b', 1000}, {'c', 500}}) {
            const char name = entry.first;
            auto& timer = timers.emplace_back(time.createTimer(TimerPrecision::Coarse));
            timer->setInterval(entry.second);
            timer->setTickHandler(
                [this, name] { ticks.push_back(name + ("@" + std::to_string(time.nowMs()))); });
        }
    }
    Timer& timer(char name) { return *timers.at(static_cast<std::size_t>(name - 'a')); }
    Clockwork& start(const std::string& names) {
        for (const char name : names) {
            timer(name).start();
        }
        return *this;
    }
    Clockwork& stop(char name) {
        timer(name).stop();
        return *this;
    }
    Clockwork& interval(char name, int ms) {
        timer(name).setInterval(ms);
        return *this;
    }
    Clockwork& advance(std::int64_t ms) {
        time.advance(ms);
        return *this;
    }

    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 8 * 60};
    std::vector<std::unique_ptr<Timer>> timers;
    Ticks ticks;
};

TEST(VirtualTime, TimersFollowWindowTimerRules) {
    const struct {
        const char* what;
        std::function<void(Clockwork&)> steps;
        Ticks ticks;
    } cases[] = {
        {"ties tick in creation order, whatever the start order",
         [](Clockwork& w) { w.start("bca").advance(1000); },
         {"c@500", "a@1000", "b@1000", "c@1000"}},
        {"stop then start restarts the countdown",
         [](Clockwork& w) { w.start("a").advance(700).stop('a').start("a").advance(1699); },
         {"a@1700"}},
        {"starting a running timer changes nothing",
         [](Clockwork& w) { w.start("a").advance(700).start("a").advance(300); },
         {"a@1000"}},
        {"interval 0 never ticks, also when set on a running timer",
         [](Clockwork& w) {
             w.interval('a', 0).start("ac").advance(250).interval('c', 0).advance(9000);
         },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Clockwork w;
        c.steps(w);
        EXPECT_EQ(w.ticks, c.ticks);
    }
}

TEST(VirtualTime, ScheduledEventsRunInOrderAfterTimersDueAtTheSameMoment) {
    Clockwork w;
    w.start("c");
    w.time.schedule(500, [&] { w.ticks.push_back("first"); });
    w.time.schedule(500, [&] { w.ticks.push_back("second"); });
    w.time.schedule(40, [&] {
        w.time.schedule(10, [&] { w.ticks.push_back("nested@" + std::to_string(w.time.nowMs())); });
    });
    w.advance(500);
    EXPECT_THAT(w.ticks, ElementsAre("nested@50", "c@500", "first", "second"));
}

TEST(VirtualTime, SettingTheWallClockMovesNoDeadline) {
    Clockwork w;
    w.start("a").advance(500);
    ASSERT_TRUE(w.time.setSystemTime(utcTime(2026, 12, 6, 0, 0, 0)));
    w.advance(499);
    EXPECT_TRUE(w.ticks.empty());
    w.advance(1);
    EXPECT_THAT(w.ticks, ElementsAre("a@1000"));
    // The wall clock went on from the value set; the local clock follows it.
    EXPECT_EQ(w.time.getSystemTime(), utcTime(2026, 12, 6, 0, 0, 0, 500));
    EXPECT_EQ(w.time.getLocalTime(), utcTime(2026, 12, 6, 8, 0, 0, 500));
}

}  // namespace
}  // namespace korvel::test
