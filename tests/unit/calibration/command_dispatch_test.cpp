#include "calibration/command_dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

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

TEST_F(Dispatch, RefusedCommandShowsImage8ThenImage5AfterTwoSeconds) {
    toolbarClick(form, 2);  // no fresh offset
    EXPECT_EQ(image(), Toolbar::kRefusedImage);
    EXPECT_TRUE(rig.time.clockSteps().empty());
    rig.time.advance(1999);
    EXPECT_EQ(image(), Toolbar::kRefusedImage);
    rig.time.advance(1);
    EXPECT_EQ(image(), Toolbar::kRestImage);
    EXPECT_FALSE(form.Timer6->isRunning());
}

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
    EXPECT_EQ(rig.windows.aboutBoxesShown, 0);
    EXPECT_TRUE(rig.windows.helpViewers.empty());
    EXPECT_EQ(form.Form1.widthTwips(), kCollapsedWidthTwips);
    EXPECT_EQ(rig.files.byteFilesOpened, 1);  // an apply would open the scratch file again
    rig.time.advance(3000);
    EXPECT_EQ(rig.server.requestsSeen(), 25);  // the running burst went on to its evaluation
}

TEST_F(Dispatch, AcceptedCommandsRunAndShowImage6WhilePlaceholdersDoNothing) {
    for (int index : {4, 8, 9}) {
        toolbarClick(form, index);
    }
    EXPECT_EQ(image(), Toolbar::kRestImage);
    EXPECT_EQ(rig.program.ended, 0);

    toolbarClick(form, 1);
    EXPECT_FALSE(form.Command5.isEnabled());
    EXPECT_EQ(image(), Toolbar::kAcceptedImage);
    rig.time.advance(3000);

    form.Toolbar1.setIndicatorImage(Toolbar::kRestImage);
    toolbarClick(form, 2);
    EXPECT_EQ(rig.time.clockSteps().size(), 1u);
    EXPECT_EQ(image(), Toolbar::kAcceptedImage);
    xiaoshiClick(form);  // the offset is applied once only
    EXPECT_EQ(rig.time.clockSteps().size(), 1u);
    EXPECT_EQ(image(), Toolbar::kRefusedImage);

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

}  // namespace
}  // namespace korvel::test
