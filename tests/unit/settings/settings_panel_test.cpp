#include "settings/settings_panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "support/test_rig.h"

namespace korvel::test {
namespace {

using ::testing::ElementsAre;

constexpr int kScreenTwips = 1920 * 15;
constexpr const char* kStartLine = "SNTP 192.0.2.1       1231";

class SettingsPanel : public ::testing::Test {
protected:
    void SetUp() override {
        form.Form1.setScreenWidthTwips(kScreenTwips);
        rig.startProgram();
    }
    void open() {
        toggleSettingsPanel(form);
        ASSERT_TRUE(panelOpen());
    }
    bool panelOpen() const { return form.Form1.widthTwips() == 9600; }
    std::string cfgLine() const { return rig.files.lines(rig.cfgPath()).front(); }

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

// An apply takes the schedule, the limit, the address and the port, writes sntp.cfg, rebinds
// the socket, opens the scratch file again and closes the panel.
TEST_F(SettingsPanel, ApplyTakesTheSettingsWritesTheConfigurationAndRebinds) {
    const struct {
        bool limit;
        int tenths, limitMs;
        const char* shown;  // Label8 or Label4 while choosing
        const char* status;
    } cases[] = {
        {false, 12, 1000, "1.2", "自动校时: 每1.2小时   时差限制: 无  "},
        {true, 1, 250, " 250", "自动校时: 每0.1小时   时差限制: 250 毫秒  "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        open();
        form.Check1.setTicked(true);
        form.Check3.setTicked(c.limit);
        form.HScroll1.setValue(c.tenths);
        form.HScroll2.setValue(c.limitMs);
        EXPECT_EQ((c.limit ? form.Label4 : form.Label8).caption(), c.shown);
        form.Text9.setText("10.0.0.1");
        form.Text10.setText("123");
        const int opened = rig.files.byteFilesOpened;
        applySettings(form);
        const SyncSettings& s = form.settings;
        EXPECT_TRUE(s.autoSyncOn && s.autoSyncTenths == c.tenths && s.limitOn == c.limit);
        EXPECT_EQ(s.limitMs, c.limitMs);
        EXPECT_EQ(form.StatusBar1.panel(0), c.status);
        EXPECT_FALSE(panelOpen());
        EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kAcceptedImage);
        EXPECT_THAT(rig.files.lines(rig.cfgPath()), ElementsAre("SNTP 10.0.0.1        123 "));
        EXPECT_EQ(form.Text9.text() + "|" + form.Text10.text(), "10.0.0.1       |123 ");
        EXPECT_EQ(rig.form->serverAddress, "10.0.0.1       ");
        EXPECT_EQ(rig.socket.localPort(), 123);
        EXPECT_EQ(rig.files.byteFilesOpened, opened + 1);
    }
}

// A too long address or port brings the field's template and a beep; nothing is applied.
TEST_F(SettingsPanel, TooLongAddressOrPortShowsTheTemplateAndKeepsThePanelOpen) {
    const struct {
        const char* address;
        const char* port;
        const char* boxes;
    } cases[] = {
        {"192.168.100.1000", "1231", "   .   .   .   |1231"},
        {"10.0.0.1", "12345", "10.0.0.1|0000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        open();
        form.Text9.setText(c.address);
        form.Text10.setText(c.port);
        form.Check1.setTicked(true);
        applySettings(form);
        EXPECT_EQ(form.Text9.text() + "|" + form.Text10.text(), c.boxes);
        EXPECT_EQ(cfgLine(), kStartLine);
        EXPECT_FALSE(form.settings.autoSyncOn);
        EXPECT_TRUE(panelOpen());
        toggleSettingsPanel(form);
    }
    EXPECT_EQ(rig.beeper.beeps, 2);
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
    EXPECT_EQ(cfgLine(), "SNTP 10.0.0.2        1231");
    EXPECT_EQ(rig.form->serverAddress, "10.0.0.2       ");
    EXPECT_FALSE(form.settings.autoSyncOn || form.settings.logOn);
    EXPECT_EQ(form.settings.logPath, TestRig::kLogPath);
    EXPECT_EQ(form.StatusBar1.panel(0), "自动校时: 关闭  ");  // as opening the panel left it
    EXPECT_TRUE(panelOpen());
}

// A failing save and a port that cannot be bound are shown; the settings still apply.
TEST_F(SettingsPanel, FailingSaveOrBindIsShownAndTheApplyGoesOn) {
    rig.files.fullFolders.insert(rig.files.programFolderPath);
    rig.socket.portsInUse.insert(80);
    open();
    form.Text10.setText("80");
    form.Check1.setTicked(true);
    applySettings(form);
    EXPECT_THAT(rig.messageBox.shown, ElementsAre("本机端口 80 无法使用", "sntp.cfg 无法保存"));
    EXPECT_EQ(cfgLine(), kStartLine);
    EXPECT_TRUE(form.settings.autoSyncOn);
    EXPECT_FALSE(panelOpen());
    rig.measure();
    EXPECT_EQ(form.Text1.text(), "无法连接服务器");
}

// Ticking the log and applying always logs, at the path in the box.
TEST_F(SettingsPanel, LoggingOffAndOnAgainAppendsToTheSameFileAndANewPathMovesIt) {
    for (const bool logging : {true, false, true}) {
        open();
        form.Check2.setTicked(logging);
        applySettings(form);
        EXPECT_EQ(form.settings.logOn, logging);
    }
    EXPECT_EQ(form.StatusBar1.panel(1), "校时数据保存: 开启 ");
    rig.measure();
    EXPECT_THAT(rig.logLines(), ElementsAre("12-06-2026  09:05:07   测时差", testing::_));

    open();
    form.Text4.setText("/opt/korvel/other.log");
    applySettings(form);
    rig.measure();
    EXPECT_EQ(rig.files.lines(TestRig::kLogPath).size(), 2u);
    EXPECT_THAT(rig.files.lines("/opt/korvel/other.log"),
                ElementsAre("12-06-2026  09:05:19   测时差", testing::_));
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
    EXPECT_EQ(form.Text9.text() + "|" + form.Text10.text(), "192.0.2.1      |2000");
    EXPECT_FALSE(form.Check1.isTicked() || form.HScroll1.isEnabled());
    EXPECT_EQ(form.HScroll1.value(), 1);
    EXPECT_EQ(form.Label8.caption(), "0.1");  // the change handler ran, the box is clear
    EXPECT_TRUE(panelOpen());
}

TEST_F(SettingsPanel, CheckBoxesEnableTheirScrollBars) {
    form.Check3.setTicked(true);  // ticked while disabled: its bar follows Check1 later
    form.Check1.setTicked(true);
    EXPECT_TRUE(form.HScroll1.isEnabled() && form.Check3.isEnabled() && form.HScroll2.isEnabled());
    EXPECT_EQ(form.Label4.caption(), " 1000");
    form.Check1.setTicked(false);
    EXPECT_FALSE(form.HScroll2.isEnabled());
    EXPECT_TRUE(form.Check3.isTicked());
    EXPECT_EQ(form.Label4.caption() + form.Label8.caption(), "");
}

}  // namespace
}  // namespace korvel::test
