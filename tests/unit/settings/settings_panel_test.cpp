#include "settings/settings_panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "calibration/measure_command.h"
#include "support/test_rig.h"

namespace korvel::test {
namespace {

using ::testing::ElementsAre;

constexpr int kScreenTwips = 1920 * 15;

class SettingsPanel : public ::testing::Test {
protected:
    void SetUp() override {
        form.Form1.setScreenWidthTwips(kScreenTwips);
        rig.startProgram();
        ASSERT_EQ(form.Form1.leftTwips(), (kScreenTwips - 6100) / 2);
    }
    void open() {
        toggleSettingsPanel(form);
        ASSERT_EQ(form.Form1.widthTwips(), 9600);
    }
    bool panelOpen() const { return form.Form1.widthTwips() >= 9600; }

    TestRig rig;
    MainForm& form = *rig.form;
};

TEST_F(SettingsPanel, OpensByMovingTheLeftEdgeThenWideningInSteps) {
    std::vector<std::pair<int, int>> steps;
    form.Form1.changed.connect(
        [&] { steps.emplace_back(form.Form1.leftTwips(), form.Form1.widthTwips()); });
    toggleSettingsPanel(form);

    // 11350 moves left in 100-twip steps until it passes (28800 - 9600) / 2 = 9600.
    ASSERT_EQ(steps.size(), 18u + 35u);
    EXPECT_EQ(steps.front(), std::make_pair(11250, 6100));
    EXPECT_EQ(steps[17], std::make_pair(9550, 6100));
    EXPECT_EQ(steps[18], std::make_pair(9550, 6200));
    EXPECT_EQ(steps.back(), std::make_pair(9550, 9600));

    steps.clear();
    toggleSettingsPanel(form);
    ASSERT_EQ(steps.size(), 35u + 18u);
    EXPECT_EQ(steps[34], std::make_pair(9550, 6100));
    EXPECT_EQ(steps.back(), std::make_pair(11350, 6100));
}

TEST_F(SettingsPanel, ApplyWithScheduleWithoutLimit) {
    open();
    form.Check1.setTicked(true);
    form.HScroll1.setValue(5);
    EXPECT_EQ(form.Label8.caption(), "0.5");
    applySettings(form);

    EXPECT_TRUE(form.settings.autoSyncOn);
    EXPECT_EQ(form.settings.autoSyncTenths, 5.0);
    EXPECT_FALSE(form.settings.limitOn);
    EXPECT_EQ(form.StatusBar1.panel(0), "自动校时: 每0.5小时   时差限制: 无  ");
    EXPECT_EQ(form.StatusBar1.panel(1), "校时数据保存: 关闭 ");
    EXPECT_EQ(form.Form1.widthTwips(), 6100);
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kAcceptedImage);
}

TEST_F(SettingsPanel, ApplyWithScheduleAndLimit) {
    open();
    form.Check1.setTicked(true);
    form.Check3.setTicked(true);
    form.HScroll2.setValue(250);
    EXPECT_EQ(form.Label4.caption(), " 250");
    applySettings(form);
    EXPECT_TRUE(form.settings.limitOn);
    EXPECT_EQ(form.settings.limitMs, 250.0);
    EXPECT_EQ(form.StatusBar1.panel(0), "自动校时: 每0.1小时   时差限制: 250 毫秒  ");
}

TEST_F(SettingsPanel, ApplyWritesTheConfigurationAndRebindsTheSocket) {
    open();
    form.Text9.setText("10.0.0.1");
    form.Text10.setText("123");
    applySettings(form);
    EXPECT_THAT(rig.files.lines(rig.cfgPath()), ElementsAre("SNTP 10.0.0.1        123 "));
    EXPECT_EQ(form.Text9.text(), "10.0.0.1       ");
    EXPECT_EQ(form.Text10.text(), "123 ");
    EXPECT_EQ(rig.socket.remoteHost(), "10.0.0.1       ");
    EXPECT_EQ(rig.socket.localPort(), 123);
    EXPECT_EQ(rig.files.byteFilesOpened, 2);  // the scratch file was opened again
}

struct RefusedField {
    const char* address;
    const char* port;
    const char* expectedAddressBox;
    const char* expectedPortBox;
};

class RefusedApply : public SettingsPanel, public ::testing::WithParamInterface<RefusedField> {};

TEST_P(RefusedApply, ShowsTheTemplateBeepsAndKeepsThePanelOpen) {
    const RefusedField& field = GetParam();
    open();
    form.Text9.setText(field.address);
    form.Text10.setText(field.port);
    applySettings(form);
    EXPECT_EQ(form.Text9.text(), field.expectedAddressBox);
    EXPECT_EQ(form.Text10.text(), field.expectedPortBox);
    EXPECT_EQ(rig.beeper.beeps, 1);
    EXPECT_THAT(rig.files.lines(rig.cfgPath()).front(), "SNTP 192.0.2.1       1231");
    EXPECT_TRUE(panelOpen());
}

INSTANTIATE_TEST_SUITE_P(TooLong, RefusedApply,
                         ::testing::Values(RefusedField{"192.168.100.1000", "1231",
                                                        "   .   .   .   ", "1231"},
                                           RefusedField{"10.0.0.1", "12345", "10.0.0.1", "0000"}));

TEST_F(SettingsPanel, ApplyDuringABurstIsRefusedForTwoSeconds) {
    open();
    measureCommand(form);
    form.Check1.setTicked(true);
    applySettings(form);
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kRefusedImage);
    EXPECT_FALSE(form.settings.autoSyncOn);
    EXPECT_EQ(rig.files.byteFilesOpened, 1);
    rig.time.advance(2000);
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kRestImage);
}

TEST_F(SettingsPanel, MissingLogFolderStopsAfterTheConfigurationWasWritten) {
    open();
    form.Text9.setText("10.0.0.2");
    form.Check1.setTicked(true);
    form.Check2.setTicked(true);
    EXPECT_TRUE(form.Text4.isVisible());
    form.Text4.setText("/no/such/folder/x.log");
    applySettings(form);

    EXPECT_THAT(rig.messageBox.shown, ElementsAre("校时数据保存路径错误"));
    EXPECT_EQ(rig.files.lines(rig.cfgPath()).front(), "SNTP 10.0.0.2        1231");
    EXPECT_EQ(rig.socket.remoteHost(), "10.0.0.2       ");
    EXPECT_FALSE(form.settings.autoSyncOn);
    EXPECT_FALSE(form.settings.logOn);
    EXPECT_EQ(form.settings.logPath, "/opt/korvel/12-06-2026.log");
    EXPECT_EQ(form.StatusBar1.panel(0), "自动校时: 关闭  ");  // as opening the panel left it
    EXPECT_TRUE(panelOpen());
}

TEST_F(SettingsPanel, FailingConfigurationSaveIsShownAndTheSettingsStillApply) {
    rig.files.fullFolders.insert(rig.files.programFolderPath);
    open();
    form.Check1.setTicked(true);
    applySettings(form);
    EXPECT_THAT(rig.messageBox.shown, ElementsAre("sntp.cfg 无法保存"));
    EXPECT_THAT(rig.files.lines(rig.cfgPath()).front(), "SNTP 192.0.2.1       1231");
    EXPECT_TRUE(form.settings.autoSyncOn);
    EXPECT_FALSE(panelOpen());
}

TEST_F(SettingsPanel, PortThatCannotBeBoundIsShownAndTheApplyGoesOn) {
    rig.socket.portsInUse.insert(80);
    open();
    form.Text10.setText("80");
    form.Check1.setTicked(true);
    applySettings(form);
    EXPECT_THAT(rig.messageBox.shown, ElementsAre("本机端口 80 无法使用"));
    EXPECT_TRUE(form.settings.autoSyncOn);
    rig.measure();
    EXPECT_EQ(form.Text1.text(), "无法连接服务器");
}

TEST_F(SettingsPanel, LoggingSwitchedOffAndOnAgainKeepsAppendingToTheSameFile) {
    open();
    form.Check2.setTicked(true);
    applySettings(form);
    open();
    form.Check2.setTicked(false);
    applySettings(form);
    EXPECT_FALSE(form.settings.logOn);
    EXPECT_EQ(form.StatusBar1.panel(1), "校时数据保存: 关闭 ");

    open();
    form.Check2.setTicked(true);
    applySettings(form);
    EXPECT_TRUE(form.settings.logOn);
    EXPECT_TRUE(form.Check2.isTicked());
    EXPECT_EQ(form.StatusBar1.panel(1), "校时数据保存: 开启 ");
    rig.measure();
    EXPECT_EQ(rig.files.lines("/opt/korvel/12-06-2026.log").front(),
              "12-06-2026  09:05:07   测时差");
}

TEST_F(SettingsPanel, LoggingToAnotherPathMovesTheLog) {
    open();
    form.Check2.setTicked(true);
    applySettings(form);
    open();
    form.Text4.setText("/opt/korvel/other.log");
    applySettings(form);
    EXPECT_EQ(form.settings.logPath, "/opt/korvel/other.log");
    rig.measure();
    EXPECT_TRUE(rig.files.lines("/opt/korvel/12-06-2026.log").empty());
    EXPECT_EQ(rig.files.lines("/opt/korvel/other.log").size(), 2u);
}

TEST_F(SettingsPanel, CancelRestoresTheStartUpAddressAndTheSettingsInEffect) {
    open();
    form.Text9.setText("10.0.0.9");
    form.Text10.setText("2000");
    applySettings(form);
    open();
    form.Check1.setTicked(true);
    form.HScroll1.setValue(7);
    form.Text9.setText("garbage");
    cancelSettings(form);

    EXPECT_EQ(form.Text9.text(), "192.0.2.1      ");
    EXPECT_EQ(form.Text10.text(), "2000");
    EXPECT_FALSE(form.Check1.isTicked());
    EXPECT_FALSE(form.HScroll1.isEnabled());
    EXPECT_EQ(form.HScroll1.value(), 1);
    EXPECT_EQ(form.Label8.caption(), "0.1");  // the change handler ran, the box is clear
    EXPECT_TRUE(panelOpen());
}

TEST_F(SettingsPanel, CheckBoxesEnableTheirScrollBars) {
    form.Check3.setTicked(true);  // ticked while disabled: its bar follows Check1 later
    form.Check1.setTicked(true);
    EXPECT_TRUE(form.HScroll1.isEnabled());
    EXPECT_TRUE(form.Check3.isEnabled());
    EXPECT_TRUE(form.HScroll2.isEnabled());
    EXPECT_EQ(form.Label4.caption(), " 1000");
    form.Check1.setTicked(false);
    EXPECT_FALSE(form.HScroll2.isEnabled());
    EXPECT_TRUE(form.Check3.isTicked());
    EXPECT_EQ(form.Label4.caption(), "");
    EXPECT_EQ(form.Label8.caption(), "");
}

}  // namespace
}  // namespace korvel::test
