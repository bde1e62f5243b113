#include "platform/win32/win32_timers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace korvel::test {
namespace {

using Clock = std::chrono::steady_clock;

// Real timers on a real message loop: the n-th tick never comes before n intervals, a stopped
// or zero-interval timer never ticks, and stop followed by start restarts the countdown.
TEST(Win32Timers, TicksNeverComeEarlyAndFollowWindowTimerRules) {
    MessageWindow window;
    Win32TimerService service(window);
    const int intervals[] = {15, 40, 0, 25};
    std::vector<std::unique_ptr<Timer>> timers;
    std::vector<std::vector<Clock::duration>> ticks(std::size(intervals));
    std::vector<Clock::duration> counted(std::size(intervals));  // where the countdown began
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < std::size(intervals); ++i) {
        timers.push_back(
            service.createTimer(i == 0 ? TimerPrecision::Precise : TimerPrecision::Coarse));
        timers[i]->setInterval(intervals[i]);
        timers[i]->setTickHandler([&, i] { ticks[i].push_back(Clock::now() - start); });
        timers[i]->start();
    }
    // The last one is stopped by the first one's second tick and started again at once.
    timers[0]->setTickHandler([&] {
        ticks[0].push_back(Clock::now() - start);
        if (ticks[0].size() == 2) {
            // Read before the restart, so a preemption here cannot look like an early tick.
            counted[3] = Clock::now() - start;
            ticks[3].clear();
            timers[3]->stop();
            timers[3]->start();
        }
    });
    const auto end = service.createTimer(TimerPrecision::Coarse);
    end->setInterval(300);
    end->setTickHandler([] { quitMessageLoop(0); });
    end->start();
    runMessageLoop();

    for (std::size_t i = 0; i < std::size(intervals); ++i) {
        for (std::size_t n = 0; n < ticks[i].size(); ++n) {
            EXPECT_GE(ticks[i][n], counted[i] + std::chrono::milliseconds(intervals[i] * (n + 1)))
                << "timer " << i << " tick " << n;
        }
    }
    EXPECT_GE(ticks[0].size(), 5u);
    EXPECT_TRUE(ticks[2].empty());
    EXPECT_FALSE(ticks[3].empty());
}

}  // namespace
}  // namespace korvel::test
