#include "settings/start_with_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_rig.h"

namespace korvel::test {
namespace {

using Texts = std::vector<std::string>;

// An entry that is written or removed only while writable.
struct FakeSessionStart final : SessionStart {
    bool isOn() override { return on; }
    bool turnOn(const Texts& given) override {
        arguments = given;
        return on = on || writable;
    }
    bool turnOff() override { return !(on = on && !writable); }
    std::string location() override { return "/a/korvel.desktop"; }
    std::string cannotHoldProgram() override { return cannotHold; }
    bool on = false, writable = true;
    std::string cannotHold;
    Texts arguments;
};

// Each setting as 确  定 applies it, on its own: a bad value or path is told with the panel's
// message and leaves that setting off while the others apply; the panel stays shut. The entry
// then made carries the settings in effect.
TEST(StartOptions, ApplyEachSettingAsThePanelWould) {
    const std::string log = TestRig::kLogPath;
    const struct {
        Texts arguments;
        std::string panels;
        Texts shown;
        Texts entry;
    } cases[] = {
        {Texts{}, "自动校时: 关闭 |校时数据保存: 关闭 ", Texts{}, Texts{}},
        {Texts{"--auto-sync", "5", "--limit", "250", "--log", log, "--tray"},
         "自动校时: 每0.5小时   时差限制: 250 毫秒  |校时数据保存: 开启 ", Texts{},
         Texts{"--auto-sync", "5", "--limit", "250", "--log=" + log, "--tray"}},
        {Texts{"--log", "/nowhere/x.log", "--auto-sync", "3", "--limit", "0"},
         "自动校时: 每0.3小时   时差限制: 无  |校时数据保存: 关闭 ",
         Texts{"时差限制 0 无法使用，应为 1 到 9999 (毫秒)", "校时数据保存路径错误"},
         Texts{"--auto-sync", "3"}},
    };
    for (const auto& c : cases) {
        TestRig rig;
        rig.startProgram();
        MainForm& form = *rig.form;
        applyStartOptions(form, parseWindowOptions(c.arguments));
        EXPECT_EQ(form.StatusBar1.panel(0) + "|" + form.StatusBar1.panel(1), c.panels);
        EXPECT_EQ(rig.messageBox.shown, c.shown) << c.panels;
        EXPECT_EQ(form.panel.Check2.isTicked(), form.settings.logOn) << c.panels;
        EXPECT_EQ(form.Form1.widthTwips(), kCollapsedWidthTwips) << c.panels;
        FakeSessionStart entry;
        toggleStartWithSession(form, entry);
        EXPECT_EQ(entry.arguments, c.entry);
    }
}

// A failure to write or remove the entry is told, with the reason where the entry cannot hold
// the program at all, and the tick follows the entry.
TEST(StartWithSession, TickFollowsTheEntry) {
    TestRig rig;
    rig.startProgram();
    MainForm& form = *rig.form;
    FakeSessionStart entry;
    entry.cannotHold = "含有“=”";
    toggleStartWithSession(form, entry);
    entry.cannotHold.clear();
    entry.writable = false;
    toggleStartWithSession(form, entry);
    EXPECT_FALSE(form.startWithSession.isTicked());
    entry.on = true;
    showStartWithSession(form, entry);
    toggleStartWithSession(form, entry);
    EXPECT_TRUE(form.startWithSession.isTicked());
    entry.writable = true;
    toggleStartWithSession(form, entry);
    EXPECT_FALSE(entry.on || form.startWithSession.isTicked());
    EXPECT_EQ(rig.messageBox.shown,
              (Texts{"登录时启动项无法写入：含有“=”", "登录时启动项 /a/korvel.desktop 无法写入",
                     "登录时启动项 /a/korvel.desktop 无法删除"}));
}

}  // namespace
}  // namespace korvel::test
