#include "calibration/command_dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/test_rig.h"

namespace korvel::test {
namespace {

using ::testing::ElementsAre;

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { rig.startProgram(); }
    void measureOffset() {
        rig.measure(3000);
        ASSERT_TRUE(form.Command6.isEnabled());
    }
    TestRig rig;
    MainForm& form = *rig.form;
};

TEST_F(Dispatch, RefusedCommandShowsImage8ThenImage5AfterTwoSeconds) {
    toolbarClick(form, 2);  // no fresh offset
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kRefusedImage);
    EXPECT_TRUE(rig.time.clockSets().empty());
    rig.time.advance(1999);
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kRefusedImage);
    rig.time.advance(1);
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kRestImage);
    EXPECT_FALSE(form.Timer6->isRunning());
}

TEST_F(Dispatch, EveryGatedCommandIsRefusedDuringABurst) {
    toolbarClick(form, 1);
    ASSERT_FALSE(form.Command5.isEnabled());
    for (int index : {1, 2, 3, 5, 6}) {
        form.Toolbar1.setIndicatorImage(Toolbar::kRestImage);
        toolbarClick(form, index);
        EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kRefusedImage) << index;
    }
    for (auto menu : {cheshiClick, xiaoshiClick, shezhiClick, guanyuClick}) {
        form.Toolbar1.setIndicatorImage(Toolbar::kRestImage);
        menu(form);
        EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kRefusedImage);
    }
    EXPECT_EQ(rig.windows.aboutBoxesShown, 0);
    EXPECT_TRUE(rig.windows.helpViewers.empty());
    EXPECT_EQ(form.Form1.widthTwips(), kCollapsedWidthTwips);
    rig.time.advance(3000);
    EXPECT_EQ(rig.server.requestsSeen(), 30);  // the running burst went on
}

TEST_F(Dispatch, PlaceholderButtonsDoNothing) {
    for (int index : {4, 8, 9}) {
        toolbarClick(form, index);
    }
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kRestImage);
    EXPECT_FALSE(form.Timer6->isRunning());
    EXPECT_EQ(rig.program.ended, 0);
}

TEST_F(Dispatch, AcceptedCommandsRunAndShowImage6) {
    toolbarClick(form, 1);
    EXPECT_FALSE(form.Command5.isEnabled());
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kAcceptedImage);
    rig.time.advance(3000);

    form.Toolbar1.setIndicatorImage(Toolbar::kRestImage);
    toolbarClick(form, 2);
    EXPECT_EQ(rig.time.clockSets().size(), 1u);
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kAcceptedImage);

    toolbarClick(form, 3);
    EXPECT_EQ(form.Form1.widthTwips(), kExpandedWidthTwips);
}

TEST_F(Dispatch, AboutFromToolbarShowsImage6OnlyAfterTheBoxCloses) {
    int imageWhileOpen = 0;
    rig.windows.whileAboutOpen = [&] { imageWhileOpen = form.Toolbar1.indicatorImage(); };
    toolbarClick(form, 5);
    EXPECT_EQ(imageWhileOpen, Toolbar::kRestImage);
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kAcceptedImage);

    guanyuClick(form);
    EXPECT_EQ(imageWhileOpen, Toolbar::kAcceptedImage);
    EXPECT_EQ(rig.windows.aboutBoxesShown, 2);
}

TEST_F(Dispatch, HelpOpensANewViewerOnTheProgramFoldersPageEachTime) {
    toolbarClick(form, 6);
    toolbarClick(form, 6);
    EXPECT_THAT(rig.windows.helpViewers,
                ElementsAre("/opt/korvel/HELP.HTM", "/opt/korvel/HELP.HTM"));
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kAcceptedImage);
}

TEST_F(Dispatch, HelpAddressFromARootFolderHasOneSeparator) {
    rig.files.programFolderPath = "/";
    helpCommand(form);
    EXPECT_THAT(rig.windows.helpViewers, ElementsAre("/HELP.HTM"));
}

TEST_F(Dispatch, CalibrateMenuAppliesTheOffsetOnce) {
    measureOffset();
    xiaoshiClick(form);
    EXPECT_EQ(rig.time.clockSets().size(), 1u);
    xiaoshiClick(form);
    EXPECT_EQ(rig.time.clockSets().size(), 1u);
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kRefusedImage);
}

}  // namespace
}  // namespace korvel::test
