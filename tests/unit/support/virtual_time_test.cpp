#include "support/virtual_time.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace korvel::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

// A virtual clock and timers that write their name and the monotonic time of each tick.
struct Clockwork {
    std::unique_ptr<Timer> timer(const std::string& name, int intervalMs) {
        auto t = time.createTimer(TimerPrecision::Coarse);
        t->setInterval(intervalMs);
        t->setTickHandler(
            [this, name] { ticks.push_back(name + "@" + std::to_string(time.nowMs())); });
        return t;
    }
    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 8 * 60};
    std::vector<std::string> ticks;
};

TEST(VirtualTime, TimersDueAtTheSameMomentTickInCreationOrder) {
    Clockwork c;
    auto a = c.timer("a", 100);
    auto b = c.timer("b", 100);
    auto d = c.timer("d", 50);
    d->start();
    b->start();
    a->start();
    c.time.advance(100);
    EXPECT_THAT(c.ticks, ElementsAre("d@50", "a@100", "b@100", "d@100"));
}

TEST(VirtualTime, RunningTimerTicksEveryInterval) {
    Clockwork c;
    auto a = c.timer("a", 300);
    a->start();
    c.time.advance(1000);
    EXPECT_THAT(c.ticks, ElementsAre("a@300", "a@600", "a@900"));
    EXPECT_EQ(c.time.nowMs(), 1000);
}

TEST(VirtualTime, StopThenStartRestartsTheCountdown) {
    Clockwork c;
    auto a = c.timer("a", 1000);
    a->start();
    c.time.advance(700);
    a->stop();
    a->start();
    c.time.advance(999);
    EXPECT_THAT(c.ticks, IsEmpty());
    c.time.advance(1);
    EXPECT_THAT(c.ticks, ElementsAre("a@1700"));
}

TEST(VirtualTime, StartingARunningTimerChangesNothing) {
    Clockwork c;
    auto a = c.timer("a", 1000);
    a->start();
    c.time.advance(700);
    a->start();
    c.time.advance(300);
    EXPECT_THAT(c.ticks, ElementsAre("a@1000"));
}

TEST(VirtualTime, NewIntervalRestartsARunningTimer) {
    Clockwork c;
    auto a = c.timer("a", 1000);
    a->start();
    c.time.advance(700);
    a->setInterval(500);
    c.time.advance(499);
    EXPECT_THAT(c.ticks, IsEmpty());
    c.time.advance(1);
    EXPECT_THAT(c.ticks, ElementsAre("a@1200"));
}

TEST(VirtualTime, IntervalZeroNeverTicks) {
    Clockwork c;
    auto a = c.timer("a", 0);
    a->start();
    c.time.advance(60'000);
    EXPECT_THAT(c.ticks, IsEmpty());
    EXPECT_TRUE(a->isRunning());

    auto b = c.timer("b", 100);
    b->start();
    c.time.advance(50);
    b->setInterval(0);
    c.time.advance(60'000);
    EXPECT_THAT(c.ticks, IsEmpty());
}

TEST(VirtualTime, SettingTheWallClockDoesNotMoveDeadlines) {
    Clockwork c;
    auto a = c.timer("a", 1000);
    a->start();
    c.time.advance(500);
    ASSERT_TRUE(c.time.setSystemTime(utcTime(2026, 12, 6, 0, 0, 0)));
    c.time.advance(499);
    EXPECT_THAT(c.ticks, IsEmpty());
    c.time.advance(1);
    EXPECT_THAT(c.ticks, ElementsAre("a@1000"));
    // The wall clock went on from the value set.
    EXPECT_EQ(c.time.getSystemTime(), utcTime(2026, 12, 6, 0, 0, 0, 500));
}

TEST(VirtualTime, WallClockReadInATickShowsTheTickMoment) {
    Clockwork c;
    auto a = c.time.createTimer(TimerPrecision::Precise);
    std::vector<SystemTime> seen;
    a->setInterval(100);
    a->setTickHandler([&] { seen.push_back(c.time.getSystemTime()); });
    a->start();
    c.time.advance(250);
    EXPECT_THAT(
        seen, ElementsAre(utcTime(2026, 12, 6, 1, 5, 7, 100), utcTime(2026, 12, 6, 1, 5, 7, 200)));
    EXPECT_EQ(c.time.getSystemTime(), utcTime(2026, 12, 6, 1, 5, 7, 250));
}

TEST(VirtualTime, TimerStoppedByAnEarlierTickAtTheSameMomentDoesNotTick) {
    Clockwork c;
    auto a = c.time.createTimer(TimerPrecision::Coarse);
    auto b = c.timer("b", 100);
    a->setInterval(100);
    a->setTickHandler([&] {
        c.ticks.push_back("a");
        b->stop();
    });
    a->start();
    b->start();
    c.time.advance(100);
    EXPECT_THAT(c.ticks, ElementsAre("a"));
}

TEST(VirtualTime, TickHandlerMayRestartItsOwnTimer) {
    Clockwork c;
    auto a = c.time.createTimer(TimerPrecision::Coarse);
    a->setInterval(100);
    a->setTickHandler([&] {
        c.ticks.push_back(std::to_string(c.time.nowMs()));
        a->stop();
        a->setInterval(250);
        a->start();
    });
    a->start();
    c.time.advance(600);
    EXPECT_THAT(c.ticks, ElementsAre("100", "350", "600"));
}

TEST(VirtualTime, DestroyedTimerNeverTicks) {
    Clockwork c;
    auto a = c.timer("a", 100);
    a->start();
    a.reset();
    c.time.advance(1000);
    EXPECT_THAT(c.ticks, IsEmpty());
}

TEST(VirtualTime, EventsRunInScheduleOrderAfterTimersDueAtTheSameMoment) {
    Clockwork c;
    auto a = c.timer("a", 100);
    a->start();
    c.time.schedule(100, [&] { c.ticks.push_back("first"); });
    c.time.schedule(100, [&] { c.ticks.push_back("second"); });
    c.time.schedule(40, [&] {
        c.ticks.push_back("early");
        c.time.schedule(10, [&] { c.ticks.push_back("nested@" + std::to_string(c.time.nowMs())); });
    });
    c.time.advance(100);
    EXPECT_THAT(c.ticks, ElementsAre("early", "nested@50", "a@100", "first", "second"));
}

TEST(VirtualTime, ClockSetsAreRecordedRefusedOrRejected) {
    VirtualTime time(utcTime(2026, 12, 6, 1, 5, 7), 8 * 60);
    EXPECT_EQ(time.getLocalTime(), utcTime(2026, 12, 6, 9, 5, 7));

    SystemTime impossible = utcTime(2026, 12, 6, 1, 5, 7);
    impossible.milliseconds = 1000;
    EXPECT_FALSE(time.setSystemTime(impossible));
    time.refuseClockSets(true);
    EXPECT_FALSE(time.setSystemTime(utcTime(2026, 12, 6, 2, 0, 0)));
    EXPECT_EQ(time.getSystemTime(), utcTime(2026, 12, 6, 1, 5, 7));
    EXPECT_THAT(time.clockSets(), IsEmpty());

    time.refuseClockSets(false);
    // The day of week is whatever was read; the clock ignores it.
    SystemTime next = utcTime(2026, 12, 31, 23, 59, 59, 900);
    next.dayOfWeek = 0;
    EXPECT_TRUE(time.setSystemTime(next));
    EXPECT_THAT(time.clockSets(), ElementsAre(next));
    EXPECT_EQ(time.getLocalTime(), utcTime(2027, 1, 1, 7, 59, 59, 900));
}

TEST(VirtualTime, MillisecondsSinceEpochRoundTripAcrossTheCenturies) {
    for (const SystemTime& t : {utcTime(1968, 1, 20, 3, 14, 8), utcTime(1970, 1, 1, 0, 0, 0),
                                utcTime(2000, 2, 29, 12, 0, 0, 1), utcTime(2036, 2, 7, 6, 28, 16),
                                utcTime(2099, 12, 31, 23, 59, 59, 999)}) {
        EXPECT_EQ(systemTimeOf(msSinceEpoch(t)), t) << t.year;
    }
    EXPECT_EQ(msSinceEpoch(utcTime(1970, 1, 1, 0, 0, 1, 5)), 1005);
    EXPECT_EQ(msSinceEpoch(utcTime(1969, 12, 31, 23, 59, 59, 0)), -1000);
}

}  // namespace
}  // namespace korvel::test
