#include "common/window_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace korvel {
namespace {

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : "|") + word;
    }
    return text;
}

// What was read, as "auto-sync limit log tray"; "-" for an option left out.
std::string summary(const WindowOptions& options) {
    const auto number = [](const std::optional<int>& value) {
        return value ? std::to_string(*value) : std::string("-");
    };
    return number(options.autoSyncTenths) + " " + number(options.limitMs) + " " +
           options.logPath.value_or("-") + " " + (options.tray ? "tray" : "-");
}

// Each option at its range's ends and just beyond, in both forms; a bad, missing or lone value
// leaves its setting out and is told; anything else is told as no option of the window.
TEST(WindowOptions, EachValueIsCheckedAgainstThePanelsRange) {
    const struct {
        std::vector<std::string> arguments;
        std::string read, problems;
    } cases[] = {
        {{}, "- - - -", ""},
        {{"--auto-sync", "1", "--limit", "9999", "--log", "/tmp/同步 a.log", "--tray"},
         "1 9999 /tmp/同步 a.log tray",
         ""},
        {{"--auto-sync=12", "--limit=1", "--log=--odd"}, "12 1 --odd -", ""},
        {{"--auto-sync", "007"}, "7 - - -", ""},
        {{"--auto-sync", "0"}, "- - - -", "定时校时间隔 0 无法使用，应为 1 到 12 (0.1 小时)"},
        {{"--auto-sync", "13"}, "- - - -", "定时校时间隔 13 无法使用，应为 1 到 12 (0.1 小时)"},
        {{"--auto-sync=1.5"}, "- - - -", "定时校时间隔 1.5 无法使用，应为 1 到 12 (0.1 小时)"},
        {{"--auto-sync", "-1"}, "- - - -", "定时校时间隔 -1 无法使用，应为 1 到 12 (0.1 小时)"},
        {{"--auto-sync", "99999999999999999999"},
         "- - - -",
         "定时校时间隔 99999999999999999999 无法使用，应为 1 到 12 (0.1 小时)"},
        {{"--auto-sync", "3", "--limit", "0"},
         "3 - - -",
         "时差限制 0 无法使用，应为 1 到 9999 (毫秒)"},
        {{"--auto-sync", "3", "--limit", "10000"},
         "3 - - -",
         "时差限制 10000 无法使用，应为 1 到 9999 (毫秒)"},
        {{"--auto-sync", "3", "--limit", "+5"},
         "3 - - -",
         "时差限制 +5 无法使用，应为 1 到 9999 (毫秒)"},
        {{"--limit", "250"}, "- - - -", "时差限制 (--limit) 只在定时校时 (--auto-sync) 开启时有效"},
        {{"--auto-sync", "x", "--limit", "250"},
         "- - - -",
         "定时校时间隔 x 无法使用，应为 1 到 12 (0.1 小时)"},
        {{"--log"}, "- - - -", "选项 --log 缺少值"},
        {{"--log", "--tray"}, "- - - tray", "选项 --log 缺少值"},
        {{"--log="}, "- -  -", ""},
        {{"--tray=1", "-tray", "file.txt", "--AUTO-SYNC", "5"},
         "- - - -",
         "无法识别的选项: --tray=1|无法识别的选项: -tray|无法识别的选项: file.txt|"
         "无法识别的选项: --AUTO-SYNC|无法识别的选项: 5"},
    };
    for (const auto& c : cases) {
        const WindowOptions options = parseWindowOptions(c.arguments);
        EXPECT_EQ(summary(options), c.read) << joined(c.arguments);
        EXPECT_EQ(joined(options.problems), c.problems) << joined(c.arguments);
    }
}

// The options made from the settings in effect read back as those settings; settings that are
// off give none, and the limit goes only with the schedule.
TEST(WindowOptions, SettingsInEffectBecomeOptionsThatReadBack) {
    const struct {
        bool autoSyncOn, limitOn, logOn, tray;
        std::string logPath, arguments, read;
    } cases[] = {
        {false, false, false, false, "", "", "- - - -"},
        {true, true, true, true, "/home/u/时差 log.txt",
         "--auto-sync|5|--limit|250|--log|/home/u/时差 log.txt|--tray",
         "5 250 /home/u/时差 log.txt tray"},
        {false, true, false, false, "/x", "", "- - - -"},
        {true, false, true, false, "--x", "--auto-sync|5|--log=--x", "5 - --x -"},
    };
    for (const auto& c : cases) {
        SyncSettings settings;
        settings.autoSyncOn = c.autoSyncOn;
        settings.autoSyncTenths = 5;
        settings.limitOn = c.limitOn;
        settings.limitMs = 250;
        settings.logOn = c.logOn;
        settings.logPath = c.logPath;
        const std::vector<std::string> arguments = windowArguments(settings, c.tray);
        EXPECT_EQ(joined(arguments), c.arguments);
        const WindowOptions options = parseWindowOptions(arguments);
        EXPECT_EQ(summary(options), c.read) << c.arguments;
        EXPECT_TRUE(options.problems.empty()) << c.arguments;
    }
}

}  // namespace
}  // namespace korvel
