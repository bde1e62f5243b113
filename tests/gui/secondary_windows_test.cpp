#include "ui/qt/secondary_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <memory>

#include "calibration/command_dispatch.h"
#include "platform/qt/qt_timers.h"
#include "support/fake_system.h"
#include "support/test_rig.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/help_viewer.h"

namespace korvel::test {
namespace {

// The window state wired to the real secondary windows.
struct WindowsRig {
    WindowsRig() { rig.files.programFolderPath = KORVEL_PROGRAM_FOLDER; }
    TestRig rig;
    FakeRegistry registry;
    FakeLauncher launcher;
    QtTimerService timers;
    QtSecondaryWindows windows{timers, {registry, rig.files, launcher, rig.messageBox}};
    MainForm form{Platform{rig.time, rig.time, rig.socket, rig.time, rig.files, rig.messageBox,
                           rig.beeper, rig.instanceGuard, windows, rig.program, rig.time, rig.time,
                           rig.elevation, rig.systemEvents}};
};

TEST(QtSecondaryWindows, EachHelpButtonOpensAnotherViewerOnTheInstalledPage) {
    WindowsRig w;
    toolbarClick(w.form, 6);
    toolbarClick(w.form, 6);
    const std::vector<HelpViewer*> viewers = w.windows.openViewers();
    ASSERT_EQ(viewers.size(), 2u);
    EXPECT_NE(viewers[0], viewers[1]);
    for (HelpViewer* viewer : viewers) {
        EXPECT_TRUE(viewer->isVisible() && viewer->isWindow());
        EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->windowTitle() == "KORVEL 帮助"; }, 2000));
        EXPECT_TRUE(viewer->page()->toPlainText().contains("校准时间的权限"));
    }
    // A viewer goes when it is closed.
    const QPointer<HelpViewer> first = viewers[0];
    first->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 2000));
}

// The About box is a modal window over the main window until it is closed.
TEST(QtSecondaryWindows, AboutButtonShowsTheModalAboutBoxUntilItIsClosed) {
    WindowsRig w;
    QWidget owner;
    owner.show();
    w.windows.setOwner(&owner);
    QWidget* shown = nullptr;
    QTimer::singleShot(0, [&shown] {
        if (QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; })) {
            shown = QApplication::activeModalWidget();
            QTest::keyClick(shown, Qt::Key_Return);
        }
    });
    toolbarClick(w.form, 5);
    ASSERT_EQ(shown, w.windows.aboutBox());
    EXPECT_EQ(shown->parentWidget(), &owner);
    EXPECT_EQ(shown->windowTitle(), "关于 HORLO");
    EXPECT_FALSE(shown->isVisible());
    EXPECT_EQ(w.form.Toolbar1.indicatorImage(), Toolbar::kAcceptedImage);
}

TEST(QtSecondaryWindows, ViewersOutliveTheOwnerAndGoWithTheWindowSet) {
    QPointer<HelpViewer> viewer;
    {
        WindowsRig w;
        QtSecondaryWindows& windows = w.windows;
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

}  // namespace
}  // namespace korvel::test
