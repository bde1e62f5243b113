#include "settings/start_with_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_rig.h"

namespace korvel::test {
namespace {

using ::testing::ElementsAre;

class FakeSessionStart final : public SessionStart {
public:
    bool isOn() override { return on; }
    bool turnOn(const std::vector<std::string>& given) override {
        on = on || writable;
        arguments = given;
        return writable;
    }
    bool turnOff() override {
        on = on && !writable;
        return writable;
    }
    std::string location() override { return "/home/user/.config/autostart/korvel.desktop"; }
    bool on = false;
    bool writable = true;
    std::vector<std::string> arguments;
};

std::string panels(const MainForm& form) {
    return form.StatusBar1.panel(0) + "|" + form.StatusBar1.panel(1);
}

// Each setting as 确  定 applies it, on its own: a bad value or path is told with the panel's
// message and leaves that setting off while the others apply; the panel stays shut.
TEST(StartOptions, ApplyEachSettingAsThePanelWould) {
    const struct {
        std::vector<std::string> arguments;
        std::string panels;
        std::vector<std::string> shown;
        bool logOn;
    } cases[] = {
        {{}, "自动校时: 关闭 |校时数据保存: 关闭 ", {}, false},
        {{"--auto-sync", "5", "--limit", "250", "--log", TestRig::kLogPath, "--tray"},
         "自动校时: 每0.5小时   时差限制: 250 毫秒  |校时数据保存: 开启 ",
         {},
         true},
        {{"--log", "/nowhere/x.log", "--auto-sync", "3", "--limit", "0"},
         "自动校时: 每0.3小时   时差限制: 无  |校时数据保存: 关闭 ",
         {"时差限制 0 无法使用，应为 1 到 9999 (毫秒)", "校时数据保存路径错误"},
         false},
        {{"--auto-sync", "13", "-x"},
         "自动校时: 关闭 |校时数据保存: 关闭 ",
         {"定时校时间隔 13 无法使用，应为 1 到 12 (0.1 小时)", "无法识别的选项: -x"},
         false},
    };
    for (const auto& c : cases) {
        TestRig rig;
        rig.startProgram();
        MainForm& form = *rig.form;
        applyStartOptions(form, parseWindowOptions(c.arguments));
        const std::string row = c.arguments.empty() ? "" : c.arguments.front();
        EXPECT_EQ(panels(form), c.panels) << row;
        EXPECT_EQ(rig.messageBox.shown, c.shown) << row;
        EXPECT_EQ(form.settings.logOn, c.logOn) << row;
        EXPECT_EQ(form.Check2.isTicked(), c.logOn) << row;
        EXPECT_EQ(form.Form1.widthTwips(), kCollapsedWidthTwips) << row;
    }
}

// The entry carries the settings in effect; a failure to write is told and leaves the tick
// off; the tick follows the entry found at start.
TEST(StartWithSession, EntryCarriesTheSettingsInEffect) {
    TestRig rig;
    rig.startProgram();
    MainForm& form = *rig.form;
    FakeSessionStart entry;
    applyStartOptions(form, parseWindowOptions({"--auto-sync", "5", "--limit", "250", "--log",
                                                TestRig::kLogPath, "--tray"}));
    EXPECT_EQ(form.settings.limitMs, 250);
    toggleStartWithSession(form, entry);
    EXPECT_TRUE(form.startWithSession.isTicked());
    EXPECT_THAT(entry.arguments, ElementsAre("--auto-sync", "5", "--limit", "250", "--log",
                                             TestRig::kLogPath, "--tray"));
    toggleStartWithSession(form, entry);
    EXPECT_FALSE(entry.on || form.startWithSession.isTicked());

    entry.writable = false;
    toggleStartWithSession(form, entry);
    EXPECT_FALSE(form.startWithSession.isTicked());
    entry.on = true;
    showStartWithSession(form, entry);
    EXPECT_TRUE(form.startWithSession.isTicked());
    toggleStartWithSession(form, entry);
    EXPECT_TRUE(form.startWithSession.isTicked());
    EXPECT_THAT(rig.messageBox.shown,
                ElementsAre("登录时启动项 /home/user/.config/autostart/korvel.desktop 无法写入",
                            "登录时启动项 /home/user/.config/autostart/korvel.desktop 无法删除"));
}

}  // namespace
}  // namespace korvel::test
