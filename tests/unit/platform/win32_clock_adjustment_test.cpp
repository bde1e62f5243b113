#include "platform/win32/win32_clock_adjustment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvel {
namespace {

// kernel32's calls as a fake: one clock interrupt adds kIncrement units, plus what was set.
constexpr DWORD64 kIncrement = 156'250;
DWORD64 g_adjustment = 0;
BOOL g_disabled = TRUE;
bool g_rightHeld = true;
std::vector<std::string> g_sets;

BOOL WINAPI fakeGet(PDWORD64 adjustment, PDWORD64 increment, PBOOL disabled) {
    *adjustment = g_disabled ? kIncrement : g_adjustment;
    *increment = kIncrement;
    *disabled = g_disabled;
    return TRUE;
}
BOOL WINAPI fakeSet(DWORD64 adjustment, BOOL disabled) {
    g_sets.push_back(std::to_string(adjustment) + (disabled ? " off" : " on"));
    g_adjustment = adjustment;
    g_disabled = disabled;
    return TRUE;
}

TEST(Win32ClockAdjustment, SetsTheFrequencyAsTimeAddedPerInterruptAndResetsIt) {
    g_rightHeld = true;
    g_sets.clear();
    g_disabled = TRUE;
    Win32ClockAdjustment adjustment(
        TimeAdjustmentCalls{fakeGet, fakeSet, [] { return g_rightHeld; }});
    EXPECT_EQ(adjustment.frequencyPpm(), 0.0);
    EXPECT_EQ(adjustment.setFrequency(12.8), "");
    EXPECT_EQ(adjustment.setFrequency(-64.0), "");
    EXPECT_NEAR(*adjustment.frequencyPpm(), -64.0, 0.01);
    EXPECT_EQ(adjustment.reset(), "");
    EXPECT_EQ(g_sets, (std::vector<std::string>{"156252 on", "156240 on", "0 off"}));
    EXPECT_FALSE(adjustment.canSlew());

    g_rightHeld = false;
    EXPECT_NE(adjustment.setFrequency(1.0), "");
    EXPECT_NE(adjustment.reset(), "");
    // Where the system lacks the calls (Wine 8), nothing is adjusted and that is said.
    Win32ClockAdjustment missing(std::nullopt);
    EXPECT_FALSE(missing.frequencyPpm());
    EXPECT_EQ(missing.setFrequency(1.0), "本系统不能调整时钟的频率。");
    EXPECT_EQ(missing.reset(), "");
    EXPECT_EQ(g_sets.size(), 3u);
}

}  // namespace
}  // namespace korvel
