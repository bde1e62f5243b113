#include "support/virtual_time.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace korvel::test {
namespace {

// The fake must keep the rules of the window timers it stands for, or the unit tests would
// prove behaviour the real program does not have. (That a stopped timer starts its countdown
// afresh, and that a step of the wall clock lands with its answer and moves no deadline, the
// burst and correction suites show.)
TEST(VirtualTime, TimersTickInCreationOrderAndIgnoreAStartWhileRunning) {
    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 8 * 60};
    std::vector<std::string> ticks;
    std::vector<std::unique_ptr<Timer>> timers;
    for (const char name : {'a', 'b'}) {
        auto& timer = timers.emplace_back(time.createTimer(TimerPrecision::Coarse));
        timer->setInterval(1000);
        timer->setTickHandler([&, name] { ticks.push_back(name + std::to_string(time.nowMs())); });
    }
    timers[1]->start();
    timers[0]->start();
    time.advance(700);
    timers[0]->start();  // running: changes nothing
    time.advance(300);
    EXPECT_EQ(ticks, (std::vector<std::string>{"a1000", "b1000"}));  // a tie: creation order
}

}  // namespace
}  // namespace korvel::test
