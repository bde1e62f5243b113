#include "common/window_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvel {
namespace {

// Each option at its range's ends and just beyond, in both forms; a bad, missing or lone value
// leaves its setting out and is told, as is anything that is no option of the window. What was
// read shows as "auto-sync limit log tray", "-" for an option left out, then "|" and each problem.
TEST(WindowOptions, EachValueIsCheckedAgainstThePanelsRange) {
    const std::string interval = " 无法使用，应为 1 到 12 (0.1 小时)";
    const std::string limit = " 无法使用，应为 1 到 9999 (毫秒)";
    const struct {
        std::vector<std::string> arguments;
        std::string read;
    } cases[] = {
        {{}, "- - - -"},
        {{"--auto-sync", "1", "--limit", "9999", "--log", "/tmp/同步 a.log", "--tray"},
         "1 9999 /tmp/同步 a.log tray"},
        {{"--auto-sync=12", "--limit=1", "--log=--odd"}, "12 1 --odd -"},
        {{"--auto-sync", "0"}, "- - - -|定时校时间隔 0" + interval},
        {{"--auto-sync", "13"}, "- - - -|定时校时间隔 13" + interval},
        {{"--auto-sync", "99999999999"}, "- - - -|定时校时间隔 99999999999" + interval},
        {{"--auto-sync", "3", "--limit", "10000"}, "3 - - -|时差限制 10000" + limit},
        {{"--limit", "250"}, "- - - -|时差限制 (--limit) 只在定时校时 (--auto-sync) 开启时有效"},
        {{"--auto-sync", "x", "--limit", "250"}, "- - - -|定时校时间隔 x" + interval},
        {{"--log", "--tray", "--limit"}, "- - - tray|选项 --log 缺少值|选项 --limit 缺少值"},
        {{"--tray=1", "file.txt", "--AUTO-SYNC"},
         "- - - -|无法识别的选项: --tray=1|无法识别的选项: file.txt|无法识别的选项: --AUTO-SYNC"},
    };
    for (const auto& c : cases) {
        const WindowOptions options = parseWindowOptions(c.arguments);
        const auto number = [](const std::optional<int>& value) {
            return value ? std::to_string(*value) : std::string("-");
        };
        std::string read = number(options.autoSyncTenths) + " " + number(options.limitMs) + " " +
                           options.logPath.value_or("-") + " " + (options.tray ? "tray" : "-");
        for (const std::string& problem : options.problems) {
            read += "|" + problem;
        }
        EXPECT_EQ(read, c.read) << testing::PrintToString(c.arguments);
    }
}

}  // namespace
}  // namespace korvel
