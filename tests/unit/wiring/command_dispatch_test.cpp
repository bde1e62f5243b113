#include "wiring/command_dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "calibration/outcome_display.h"
#include "settings/settings_panel.h"
#include "support/test_rig.h"

namespace korvel::test {
namespace {

using ::testing::ElementsAre;

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { rig.startProgram(); }
    int image() const { return form.Toolbar1.indicatorImage(); }

    TestRig rig;
    MainForm& form = *rig.form;
};

// Each gated command is refused while a burst runs, and the refusal shows for two seconds.
TEST_F(Dispatch, EveryGatedCommandIsRefusedDuringABurst) {
    toolbarClick(form, 1);
    ASSERT_FALSE(form.Command5.isEnabled());
    const std::function<void()> commands[] = {
        [&] { toolbarClick(form, 1); }, [&] { toolbarClick(form, 2); },
        [&] { toolbarClick(form, 3); }, [&] { toolbarClick(form, 5); },
        [&] { toolbarClick(form, 6); }, [&] { cheshiClick(form); },
        [&] { xiaoshiClick(form); },    [&] { shezhiClick(form); },
        [&] { guanyuClick(form); },     [&] { applySettings(form); },
    };
    for (std::size_t i = 0; i < std::size(commands); ++i) {
        form.Toolbar1.setIndicatorImage(Toolbar::kRestImage);
        commands[i]();
        EXPECT_EQ(image(), Toolbar::kRefusedImage) << "command " << i;
    }
    EXPECT_TRUE(rig.windows.aboutBoxesShown == 0 && rig.windows.helpViewers.empty() &&
                form.Form1.widthTwips() == kCollapsedWidthTwips);
    EXPECT_EQ(rig.files.byteFilesOpened, 1);  // an apply would open the scratch file again
    rig.time.advance(1999);
    EXPECT_EQ(image(), Toolbar::kRefusedImage);
    rig.time.advance(1);
    EXPECT_EQ(image(), Toolbar::kRestImage);
    rig.time.advance(1000);
    EXPECT_EQ(rig.server.requestsSeen(), 25);  // the running burst went on to its evaluation
    EXPECT_TRUE(rig.time.clockSteps().empty());
}

TEST_F(Dispatch, AcceptedCommandsRunAndShowImage6WhilePlaceholdersDoNothing) {
    for (int index : {4, 8, 9}) {
        toolbarClick(form, index);
    }
    EXPECT_TRUE(image() == Toolbar::kRestImage && rig.program.ended == 0);

    toolbarClick(form, 1);
    EXPECT_TRUE(!form.Command5.isEnabled() && image() == Toolbar::kAcceptedImage);
    rig.time.advance(3000);

    form.Toolbar1.setIndicatorImage(Toolbar::kRestImage);
    toolbarClick(form, 2);
    EXPECT_TRUE(rig.time.clockSteps().size() == 1 && image() == Toolbar::kAcceptedImage);
    xiaoshiClick(form);  // the offset is applied once only
    EXPECT_TRUE(rig.time.clockSteps().size() == 1 && image() == Toolbar::kRefusedImage);

    toolbarClick(form, 3);
    EXPECT_EQ(form.Form1.widthTwips(), kExpandedWidthTwips);
    form.Toolbar1.setIndicatorImage(Toolbar::kRestImage);
    toolbarClick(form, 5);
    toolbarClick(form, 6);
    EXPECT_EQ(rig.windows.aboutBoxesShown, 1);
    rig.files.programFolderPath = "/";  // a folder at a root gets no doubled separator
    helpCommand(form);
    EXPECT_THAT(rig.windows.helpViewers, ElementsAre("/opt/korvel/HELP.HTM", "/HELP.HTM"));
    EXPECT_EQ(image(), Toolbar::kAcceptedImage);
    rig.windows.helpOpens = false;  // no browser to start
    toolbarClick(form, 6);
    EXPECT_EQ(image(), Toolbar::kRefusedImage);
    EXPECT_THAT(rig.messageBox.shown, ElementsAre("帮助文件 /HELP.HTM 无法打开"));
}

// 校准 by hand of an offset that a time zone or a flat battery likely explains asks first; the
// answer 确定 applies nothing once the offset was withdrawn while the box was open, and the
// lamp and the status bar say so.
TEST(DispatchLargeOffset, CorrectionByHandAsksFirstAndAppliesOnlyAStillValidOffset) {
    const std::string kZone = "可能原因：时区或双系统的硬件时钟";
    const struct {
        const char* name;
        double offsetMs;
        bool menu;  // the menu item rather than the toolbar
        bool answer;
        std::int64_t openMs;  // how long the box stays open
        std::size_t steps;
        std::string cause;
        int lamp;
    } cases[] = {
        {"small: not asked", 2250, false, true, 0, 1, "", Toolbar::kAcceptedImage},
        {"8 h, 确定", 28'800'300, false, true, 0, 1, kZone, Toolbar::kAcceptedImage},
        {"8 h, 取消", 28'800'300, true, false, 0, 0, kZone, Toolbar::kAcceptedImage},
        {"8 h, 确定 after 34 s", 28'800'300, false, true, 34'000, 0, kZone, Toolbar::kRefusedImage},
        {"a year behind, 确定", 365 * 86'400e3, true, true, 0, 1, "可能原因：主板电池失效",
         Toolbar::kAcceptedImage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestRig rig;
        rig.startProgram();
        rig.server.offsetMs = c.offsetMs;
        rig.measure(3000);
        EXPECT_EQ(rig.form->StatusBar1.panel(2), c.cause);
        rig.messageBox.answer = c.answer;
        rig.messageBox.whileAsked = [&] { rig.time.advance(c.openMs); };
        c.menu ? xiaoshiClick(*rig.form) : toolbarClick(*rig.form, 2);
        EXPECT_EQ(rig.messageBox.asked.size(), c.cause.empty() ? 0U : 1U);
        EXPECT_EQ(rig.time.clockSteps().size(), c.steps);
        EXPECT_EQ(rig.form->Toolbar1.indicatorImage(), c.lamp);
        if (c.lamp == Toolbar::kRefusedImage) {
            EXPECT_EQ(rig.form->StatusBar1.panel(2), kOffsetExpiredText);
        }
        if (c.offsetMs == 28'800'300 && c.menu) {
            EXPECT_EQ(rig.messageBox.asked.at(0),
                      "时差 28800.300000 秒，" + kZone + "。\n仍要校准吗？");
            EXPECT_TRUE(rig.form->Command6.isEnabled());  // 取消 leaves the offset to apply
        }
    }
}

}  // namespace
}  // namespace korvel::test
