#include "ui/qt/secondary_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <memory>

#include "calibration/command_dispatch.h"
#include "support/temp_folder.h"
#include "support/test_rig.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/help_viewer.h"

namespace korvel::test {
namespace {

TEST(QtSecondaryWindows, EachHelpCommandOpensAnotherViewer) {
    TempFolder folder;
    const std::string page =
        folder.write("HELP.HTM", "<html><head><title>帮助</title></head></html>").string();
    QtSecondaryWindows windows;
    windows.openHelpViewer(page);
    windows.openHelpViewer(page);
    const std::vector<HelpViewer*> viewers = windows.openViewers();
    ASSERT_EQ(viewers.size(), 2u);
    EXPECT_NE(viewers[0], viewers[1]);
    for (HelpViewer* viewer : viewers) {
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_TRUE(viewer->isWindow());
        EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->windowTitle() == "帮助"; }, 2000));
    }
}

TEST(QtSecondaryWindows, HelpButtonShowsTheHelpPageBesideTheProgramWithItsTitle) {
    TestRig rig;
    rig.files.programFolderPath = KORVEL_PROGRAM_FOLDER;
    QtSecondaryWindows windows;
    MainForm form(Platform{rig.time, rig.time, rig.socket, rig.time, rig.files, rig.messageBox,
                           rig.beeper, rig.instanceGuard, windows, rig.program});
    toolbarClick(form, 6);
    ASSERT_EQ(windows.openViewers().size(), 1u);
    HelpViewer* viewer = windows.openViewers().front();
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->windowTitle() == "KORVEL 帮助"; }, 2000));
    EXPECT_TRUE(viewer->page()->toPlainText().contains("校准时间的权限"));
}

TEST(QtSecondaryWindows, AboutButtonShowsTheAboutBoxUntilItIsClosed) {
    TestRig rig;
    QtSecondaryWindows windows;
    MainForm form(Platform{rig.time, rig.time, rig.socket, rig.time, rig.files, rig.messageBox,
                           rig.beeper, rig.instanceGuard, windows, rig.program});
    QString title;
    QTimer::singleShot(0, [&title] {
        if (QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; })) {
            title = QApplication::activeModalWidget()->windowTitle();
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return);
        }
    });
    toolbarClick(form, 5);
    EXPECT_EQ(title, "关于 HORLO");
    EXPECT_FALSE(windows.aboutBox()->isVisible());
    EXPECT_EQ(form.Toolbar1.indicatorImage(), Toolbar::kAcceptedImage);
}

TEST(QtSecondaryWindows, ViewersOutliveTheOwnerAndGoWithTheWindowSet) {
    QPointer<HelpViewer> viewer;
    {
        QtSecondaryWindows windows;
        auto owner = std::make_unique<QWidget>();
        owner->show();
        windows.setOwner(owner.get());
        windows.openHelpViewer("/nonexistent/HELP.HTM");
        viewer = windows.openViewers().front();
        owner->close();
        owner.reset();
        EXPECT_TRUE(viewer->isVisible());
    }
    EXPECT_TRUE(viewer.isNull());
}

TEST(QtSecondaryWindows, AboutBoxIsModalOverItsOwnerAndShownAgain) {
    QtSecondaryWindows windows;
    QWidget owner;
    owner.show();
    windows.setOwner(&owner);
    QWidget* shown[2] = {};
    for (QWidget*& box : shown) {
        QTimer::singleShot(0, [&box] {
            if (QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; })) {
                box = QApplication::activeModalWidget();
                QTest::keyClick(box, Qt::Key_Escape);
            }
        });
        windows.showAboutBox();
    }
    ASSERT_NE(shown[0], nullptr);
    EXPECT_EQ(shown[0], shown[1]);
    EXPECT_EQ(shown[0], windows.aboutBox());
    EXPECT_EQ(shown[0]->parentWidget(), &owner);
    EXPECT_EQ(shown[0]->windowTitle(), "关于 HORLO");
}

}  // namespace
}  // namespace korvel::test
