#include "ui/qt/secondary_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt/qt_timers.h"
#include "support/fake_system.h"
#include "support/test_rig.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/burst_details_window.h"
#include "ui/qt/help_viewer.h"
#include "wiring/command_dispatch.h"

namespace korvel::test {
namespace {

// The window state wired to the real secondary windows, under a shown main window.
struct WindowsRig {
    WindowsRig() {
        rig.files.programFolderPath = KORVEL_PROGRAM_FOLDER;
        owner->show();
        windows.setOwner(owner.get());
    }
    std::unique_ptr<QWidget> owner = std::make_unique<QWidget>();
    TestRig rig;
    FakeRegistry registry;
    FakeLauncher launcher;
    QtTimerService timers;
    QtSecondaryWindows windows{timers, {registry, rig.files, launcher, rig.messageBox}};
    MainForm form{Platform{rig.time, rig.time, rig.socket, rig.time, rig.files, rig.messageBox,
                           rig.beeper, rig.instanceGuard, windows, rig.program, rig.time, rig.time,
                           rig.elevation, rig.systemEvents}};
};

// A viewer goes when it is closed; the others outlive the main window and go with the window
// set.
TEST(QtSecondaryWindows, EachHelpButtonOpensAnotherViewerOnTheInstalledPage) {
    QPointer<HelpViewer> second;
    {
        WindowsRig w;
        toolbarClick(w.form, 6);
        toolbarClick(w.form, 6);
        const std::vector<HelpViewer*> viewers = w.windows.openViewers();
        ASSERT_EQ(viewers.size(), 2u);
        EXPECT_NE(viewers[0], viewers[1]);
        for (HelpViewer* viewer : viewers) {
            EXPECT_TRUE(viewer->isVisible() && viewer->isWindow() &&
                        QTest::qWaitFor([&] { return viewer->windowTitle() == "KORVEL 帮助"; }) &&
                        viewer->page()->toPlainText().contains("校准时间的权限"));
        }
        const QPointer<HelpViewer> first = viewers[0];
        second = viewers[1];
        first->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 2000));
        w.owner.reset();
        EXPECT_TRUE(second && second->isVisible());
    }
    EXPECT_TRUE(second.isNull());
}

// The About box is a fixed-size modal window over the main window that shows every caption
// whole; Enter shuts it, and its button runs the look-up of the tool, which tells there is none.
TEST(QtSecondaryWindows, AboutButtonShowsTheModalAboutBoxUntilItIsClosed) {
    WindowsRig w;
    QWidget* shown = nullptr;
    QTimer::singleShot(0, [&shown] {
        if (QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; })) {
            shown = QApplication::activeModalWidget();
            QTest::keyClick(shown, Qt::Key_Return);
        }
    });
    toolbarClick(w.form, 5);
    AboutDialog* box = w.windows.aboutBox();
    ASSERT_EQ(shown, box);
    EXPECT_EQ(box->parentWidget(), w.owner.get());
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(box->minimumSize(), box->maximumSize());
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
    }
    QTest::mouseClick(box->sysInfoButton(), Qt::LeftButton);
    EXPECT_EQ(w.rig.messageBox.shown, std::vector<std::string>{"此时系统信息无效"});
}

// 测时详情 opens one window that draws the model's counts, raised again by a second open,
// redrawn when a burst ends and closed by Esc. (The menu item's wiring is Form1's.)
TEST(QtSecondaryWindows, BurstDetailsOpenOnceAndDrawTheModelsCounts) {
    WindowsRig w;
    BurstDetails details(w.form);
    w.windows.setBurstDetails(details);
    BurstResult result;
    result.uses = {ReplyUse::Used, ReplyUse::Slow, ReplyUse::Used, ReplyUse::Flagged};
    details.record(Outcome::Evaluated, result, {}, 0);
    w.windows.showBurstDetails();
    BurstDetailsWindow* shown = w.windows.burstDetailsWindow();
    ASSERT_NE(shown, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown->shownLegend().size() == 7; }));
    EXPECT_EQ(shown->shownLegend().front(), "采用 2");
    w.windows.showBurstDetails();
    EXPECT_EQ(w.windows.burstDetailsWindow(), shown);
    details.record(Outcome::NoReply, {}, {}, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown->shownLegend().front() == "采用 0"; }));
    QTest::keyClick(shown, Qt::Key_Escape);
    EXPECT_FALSE(shown->isVisible());
}

}  // namespace
}  // namespace korvel::test
