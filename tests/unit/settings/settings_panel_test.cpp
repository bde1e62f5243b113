#include "settings/settings_panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "settings/config_file.h"
#include "support/test_rig.h"

namespace korvel::test {
namespace {

using ::testing::ElementsAre;

using Texts = std::vector<std::string>;
constexpr const char* kStartLine = "SNTP 192.0.2.1       1231";
constexpr const char* kLongName = "time.a-long-name.example.org";

class SettingsPanel : public ::testing::Test {
protected:
    void SetUp() override {
        form.Form1.setScreenWidthTwips(1920 * 15);
        rig.startProgram();
        for (TextBox* box : {&form.panel.Text9, &form.panel.Text10, &form.panel.Text11,
                             &form.panel.Text12, &form.panel.Text13}) {
            connections.push_back(
                box->selectionRequested.connect([this, box] { selected.push_back(box); }));
        }
    }
    void open() {
        toggleSettingsPanel(form);
        ASSERT_TRUE(panelOpen());
    }
    bool panelOpen() const { return form.Form1.widthTwips() == 9600; }
    std::string cfgLine() const { return rig.files.lines(rig.cfgPath()).front(); }
    // The address, the port and the servers after the first, their other boxes left empty.
    void typeServers(const char* address, const char* port, Texts extras) {
        extras.resize(3);
        form.panel.Text9.setText(address);
        form.panel.Text10.setText(port);
        form.panel.Text11.setText(extras[0]);
        form.panel.Text12.setText(extras[1]);
        form.panel.Text13.setText(extras[2]);
    }
    // Address, port and the three extra servers, as the boxes show them.
    std::string boxes() const {
        return form.panel.Text9.text() + "|" + form.panel.Text10.text() + "|" +
               form.panel.Text11.text() + "|" + form.panel.Text12.text() + "|" +
               form.panel.Text13.text();
    }

    TestRig rig;
    MainForm& form = *rig.form;
    std::vector<TextBox*> selected;
    std::vector<Connection> connections;
};

// Opening moves the left edge from 11350 in 100-twip steps until it passes (28800 - 9600) / 2,
// then widens in steps; closing goes back the same way.
TEST_F(SettingsPanel, OpensByMovingTheLeftEdgeThenWideningInSteps) {
    using Steps = std::vector<std::pair<int, int>>;
    Steps steps;
    const Connection recording = form.Form1.changed.connect(
        [&] { steps.emplace_back(form.Form1.leftTwips(), form.Form1.widthTwips()); });
    toggleSettingsPanel(form);
    toggleSettingsPanel(form);
    ASSERT_EQ(steps.size(), 2 * (18u + 35u));
    EXPECT_EQ(
        (Steps{steps[0], steps[17], steps[18], steps[52], steps[87], steps.back()}),
        (Steps{
            {11250, 6100}, {9550, 6100}, {9550, 6200}, {9550, 9600}, {9550, 6100}, {11350, 6100}}));
}

// An apply takes the schedule, the limit, the address, the port and the servers after the
// first (empty boxes passed over, any length, written after the port field), writes sntp.cfg,
// rebinds the socket, opens the scratch file again and closes the panel. The second keeps the
// port: the bound socket only turns to the new servers (binding its own port again would fail).
TEST_F(SettingsPanel, ApplyTakesTheSettingsWritesTheConfigurationAndRebinds) {
    const struct {
        bool limit;
        int tenths, limitMs;
        const char* shown;  // Label8 or Label4 while choosing
        const char* status;
        const char* address;
        Texts extras;
        const char* line;
        const char* boxes;  // afterwards
        Texts servers;
    } cases[] = {
        {false, 12, 1000, "1.2", "自动校时: 每1.2小时   时差限制: 无  ", " 10.0.0.1  ",
         Texts{"nts:10.0.0.1"}, "SNTP 10.0.0.1        123  nts:10.0.0.1",
         "10.0.0.1|123 |nts:10.0.0.1||", Texts{"10.0.0.1       ", "nts:10.0.0.1"}},
        {true, 1, 250, " 250", "自动校时: 每0.1小时   时差限制: 250 毫秒  ", "ntp.example.cn",
         Texts{" nts:time.cloudflare.com ", "", kLongName},
         "SNTP ntp.example.cn  123  nts:time.cloudflare.com time.a-long-name.example.org",
         "ntp.example.cn|123 |nts:time.cloudflare.com|time.a-long-name.example.org|",
         Texts{"ntp.example.cn ", "nts:time.cloudflare.com", kLongName}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        open();
        form.panel.Check1.setTicked(true);
        form.panel.Check3.setTicked(c.limit);
        form.panel.HScroll1.setValue(c.tenths);
        form.panel.HScroll2.setValue(c.limitMs);
        EXPECT_EQ((c.limit ? form.panel.Label4 : form.panel.Label8).caption(), c.shown);
        typeServers(c.address, "123", c.extras);
        const int opened = rig.files.byteFilesOpened;
        applySettings(form);
        EXPECT_EQ(form.StatusBar1.panel(0) + "|" + boxes(), std::string(c.status) + "|" + c.boxes);
        EXPECT_THAT(rig.files.lines(rig.cfgPath()), ElementsAre(c.line));
        EXPECT_EQ(form.servers, c.servers);
        EXPECT_TRUE(!panelOpen() && form.Toolbar1.indicatorImage() == Toolbar::kAcceptedImage &&
                    rig.messageBox.shown.empty());
        EXPECT_EQ(std::pair(rig.socket.localPort(), rig.files.byteFilesOpened),
                  std::pair(123, opened + 1));
    }
}

// A too long address or port brings the field's template and a beep; an address that names
// no host, an extra server that names none or repeats one (told by its box's number), or a
// port that is no whole number from 1 to 65535 or cannot be bound, is told and its box selected
// for retyping; a name too long for a message is told shortened. Nothing is applied or saved
// and the socket keeps its port and server.
TEST_F(SettingsPanel, RefusedAddressPortOrServerSavesNothingAndKeepsThePanelOpen) {
    rig.socket.portsInUse.insert(80);
    const std::string longName(254, 'a');
    const struct {
        const char* address;
        const char* port;
        Texts extras;
        std::string boxes;
        std::string message;  // empty: a beep
        TextBox* selected;
    } cases[] = {
        {"192.168.100.1000", "1231", Texts{}, "   .   .   .   |1231|||", "", nullptr},
        {"10.0.0.1", "12345", Texts{}, "10.0.0.1|0000|||", "", nullptr},
        {"10.0.0.1     2", "1231", Texts{}, "10.0.0.1     2|1231|||", "服务器地址错误",
         &form.panel.Text9},
        {"10.0.0.1", "1231", Texts{"2001:db8::1", "bad_name"},
         "10.0.0.1|1231|2001:db8::1|bad_name|", "备用服务器 2 地址错误: bad_name",
         &form.panel.Text12},
        {"10.0.0.1", "1231", Texts{"10.0.0.7", "", "10.0.0.7"}, "10.0.0.1|1231|10.0.0.7||10.0.0.7",
         "备用服务器 3 与前面的服务器重复: 10.0.0.7", &form.panel.Text13},
        {"10.0.0.1", "1231", Texts{longName}, "10.0.0.1|1231|" + longName + "||",
         "备用服务器 1 地址错误: " + longName.substr(0, 39) + "…", &form.panel.Text11},
        {"a.cn", "1231", Texts{"nts:a.cn", "nts:A.CN."}, "a.cn|1231|nts:a.cn|nts:A.CN.|",
         "备用服务器 2 与前面的服务器重复: nts:A.CN.", &form.panel.Text12},
        {"10.0.0.1", "80", Texts{}, "10.0.0.1|80  |||", "本机端口 80 无法使用", &form.panel.Text10},
        {"10.0.0.1", " 0", Texts{}, "10.0.0.1| 0  |||", "本机端口 0 无法使用", &form.panel.Text10},
        {"10.0.0.1", "1e3", Texts{}, "10.0.0.1|1e3 |||", "本机端口 1e3 无法使用",
         &form.panel.Text10},
    };
    int beeps = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boxes);
        open();
        selected.clear();
        rig.messageBox.shown.clear();
        typeServers(c.address, c.port, c.extras);
        form.panel.Check1.setTicked(true);
        applySettings(form);
        EXPECT_EQ(boxes(), c.boxes);
        EXPECT_EQ(rig.messageBox.shown, c.message.empty() ? Texts{} : Texts{c.message});
        EXPECT_EQ(rig.beeper.beeps, beeps += c.message.empty() ? 1 : 0);
        EXPECT_EQ(selected, c.selected ? std::vector{c.selected} : std::vector<TextBox*>{});
        EXPECT_EQ(cfgLine(), kStartLine);
        EXPECT_THAT(form.servers, ElementsAre("192.0.2.1      "));
        EXPECT_TRUE(panelOpen() && !form.settings.autoSyncOn && rig.socket.localPort() == 1231);
        toggleSettingsPanel(form);
    }
    rig.measure();
    EXPECT_EQ(form.lastBurst.counted, 25);
}

// sntp.cfg at start and at apply: the user's copy when there is one, else the site file
// beside the program (read without a word where it cannot be written), and at apply a new
// user's copy when the site file cannot be written (korvel-cli reads by the same rule). The default
// log goes to the user's data folder when the program's folder is not theirs to write. A failed
// save is shown and the rest of the apply goes on.
TEST(SettingsFiles, UserCopyBeforeSiteFileAtStartAndApply) {
    const std::string site = "/opt/korvel/sntp.cfg";
    const std::string user = "/home/user/.config/korvel/sntp.cfg";
    const struct {
        const char* what;
        bool userCopy, siteWritable, userFolder;
        const char* readAtStart;
        std::string written;  // empty: nothing could be
    } cases[] = {
        {"site file only", false, true, true, "192.0.2.1", site},
        {"site file read-only", false, false, true, "192.0.2.1", user},
        {"user's copy", true, true, true, "192.0.2.9", user},
        {"nowhere to write", false, false, false, "192.0.2.1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestRig rig;
        MainForm& form = *rig.form;
        if (!c.userFolder) {
            rig.files.userConfigPath = rig.files.userDataPath = "";
        }
        if (c.userCopy) {
            rig.files.folders.insert(rig.files.userConfigPath);
            rig.files.textFiles[user] = {"SNTP 192.0.2.9       1231"};
        }
        if (!c.siteWritable) {
            rig.files.readOnlyFolders.insert(rig.files.programFolderPath);
        }
        rig.startProgram();
        EXPECT_EQ(form.panel.Text9.text(), c.readAtStart);
        EXPECT_THAT(form.panel.Text4.text(),
                    ::testing::StartsWith(c.siteWritable || !c.userFolder
                                              ? "/opt/korvel/"
                                              : "/home/user/.local/share/korvel/"));
        toggleSettingsPanel(form);
        form.panel.Text9.setText("10.0.0.9");
        form.panel.Check1.setTicked(true);
        applySettings(form);
        const Texts applied{"SNTP 10.0.0.9        1231"};
        EXPECT_EQ(rig.files.lines(site), c.written == site ? applied : Texts{kStartLine});
        EXPECT_EQ(rig.files.lines(user) == applied, c.written == user);
        // What the next start, or korvel-cli, reads.
        EXPECT_EQ(configPathToRead(rig.files), c.written.empty() ? site : c.written);
        EXPECT_EQ(rig.messageBox.shown, c.written.empty() ? Texts{"sntp.cfg 无法保存"} : Texts{});
        EXPECT_TRUE(form.settings.autoSyncOn);
    }
}

// Ticking the log and applying always logs, at the path in the box; a path in no folder is
// told and stops the apply once sntp.cfg was written, the panel open and the log going on as
// it was.
TEST_F(SettingsPanel, LoggingOffAndOnAgainAppendsToTheSameFileAndANewPathMovesIt) {
    for (const bool logging : {true, false, true}) {
        open();
        form.panel.Check2.setTicked(logging);
        applySettings(form);
        EXPECT_EQ(form.settings.logOn, logging);
    }
    EXPECT_EQ(form.StatusBar1.panel(1), "校时数据保存: 开启 ");
    rig.measure();
    EXPECT_THAT(rig.logLines(), ElementsAre("12-06-2026  09:05:07   测时差", "0.000000"));

    open();
    form.panel.Text4.setText("/opt/korvel/other.log");
    applySettings(form);
    rig.measure();
    EXPECT_EQ(rig.files.lines(TestRig::kLogPath).size(), 2u);
    EXPECT_THAT(rig.files.lines("/opt/korvel/other.log"),
                ElementsAre("12-06-2026  09:05:19   测时差", testing::_));

    open();
    form.panel.Text9.setText("10.0.0.2");
    form.panel.Check1.setTicked(true);
    form.panel.Text4.setText("/no/such/folder/x.log");
    applySettings(form);
    EXPECT_THAT(rig.messageBox.shown, ElementsAre("校时数据保存路径错误"));
    EXPECT_EQ(cfgLine() + "|" + form.servers.front(), "SNTP 10.0.0.2        1231|10.0.0.2       ");
    EXPECT_TRUE(panelOpen() && form.panel.Text4.isVisible() && !form.settings.autoSyncOn);
    EXPECT_EQ(form.settings.logPath + "|" + form.StatusBar1.panel(0),
              "/opt/korvel/other.log|自动校时: 关闭  ");  // as opening the panel left it
    rig.measure();  // against 10.0.0.2, which never answers: its start line alone
    EXPECT_EQ(rig.files.lines("/opt/korvel/other.log").size(), 3u);
}

// Each box enables its scroll bar, the limit's following 自动校时 even when ticked while
// disabled; 取消 brings back the start-up address and the settings in effect.
TEST_F(SettingsPanel, CheckBoxesEnableTheirScrollBarsAndCancelRestoresTheSettingsInEffect) {
    open();
    typeServers("10.0.0.9", "2000", {});
    applySettings(form);
    open();
    form.panel.Check3.setTicked(true);
    form.panel.Check1.setTicked(true);
    EXPECT_TRUE(form.panel.HScroll1.isEnabled() && form.panel.Check3.isEnabled() &&
                form.panel.HScroll2.isEnabled());
    EXPECT_EQ(form.panel.Label4.caption(), " 1000");
    form.panel.Check1.setTicked(false);
    EXPECT_TRUE(!form.panel.HScroll2.isEnabled() && form.panel.Check3.isTicked());
    EXPECT_EQ(form.panel.Label4.caption() + form.panel.Label8.caption(), "");
    form.panel.Check1.setTicked(true);
    form.panel.HScroll1.setValue(7);
    form.panel.Text9.setText("garbage");
    form.panel.Text11.setText("ntp.tencent.com");
    cancelSettings(form);
    EXPECT_EQ(boxes(), "192.0.2.1|2000|||");
    EXPECT_TRUE(panelOpen() && !form.panel.Check1.isTicked() && !form.panel.HScroll1.isEnabled());
    // The start's interval and limit, which every opening of the panel shows.
    EXPECT_EQ(std::pair(form.panel.HScroll1.value(), form.panel.HScroll2.value()),
              std::pair(1, 1000));
    EXPECT_EQ(form.panel.Label8.caption(), "0.1");  // the change handler ran, the box is clear
}

}  // namespace
}  // namespace korvel::test
