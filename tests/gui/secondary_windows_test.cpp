#include "ui/qt/secondary_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <memory>

#include "support/temp_folder.h"
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
