#include "ui/qt/help_viewer.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <memory>
#include <string>

#include "platform/qt/qt_timers.h"
#include "support/temp_folder.h"

namespace korvel::test {
namespace {

std::string page(const char* title, const char* body) {
    return std::string("<html><head><meta charset=\"utf-8\"><title>") + title +
           "</title></head><body>" + body + "</body></html>";
}

struct HelpViewerTest : ::testing::Test {
    TempFolder folder;
    QtTimerService timers;
    QPointer<HelpViewer> viewer = new HelpViewer(timers);
    std::string first = folder.write("HELP.HTM", page("KORVEL 帮助", "<p>第一页</p>")).string();
    std::string second = folder.write("other.htm", page("第二页", "<p>第二页</p>")).string();

    ~HelpViewerTest() override { delete viewer.data(); }

    // Title updates arrive from the event loop and the 5 ms timer.
    bool titleBecomes(const QString& title) {
        return QTest::qWaitFor([&] { return viewer->windowTitle() == title; }, 2000);
    }
    QString shownFile() const { return viewer->page()->source().toLocalFile(); }
};

TEST_F(HelpViewerTest, OpensThePageWithItsTitle) {
    viewer->open(first);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), "");
    EXPECT_TRUE(titleBecomes("KORVEL 帮助"));
    EXPECT_TRUE(viewer->page()->toPlainText().contains("第一页"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !viewer->form().timTimer().isRunning(); }, 2000));
    EXPECT_EQ(viewer->addressBox()->currentText().toStdString(), first);
    EXPECT_EQ(viewer->addressBox()->count(), 1);
}

TEST_F(HelpViewerTest, AMissingPageShowsANoticeAndItsTitle) {
    viewer->open(folder.path().string() + "/missing/HELP.HTM");
    EXPECT_TRUE(titleBecomes("无法显示网页"));
    EXPECT_TRUE(viewer->page()->toPlainText().contains("HELP.HTM"));
}

TEST_F(HelpViewerTest, EnterInTheHiddenAddressBoxOpensTheTypedAddress) {
    viewer->open(first);
    ASSERT_TRUE(titleBecomes("KORVEL 帮助"));
    EXPECT_EQ(viewer->addressBox()->parentWidget()->height(), 0);

    QLineEdit* edit = viewer->addressBox()->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromStdString(second));
    EXPECT_EQ(shownFile().toStdString(), first);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(titleBecomes("第二页"));
    EXPECT_EQ(shownFile().toStdString(), second);
    EXPECT_EQ(viewer->addressBox()->count(), 1);  // Enter adds nothing to the list
}

TEST_F(HelpViewerTest, ChoosingTheListedAddressOpensItAgain) {
    viewer->open(first);
    viewer->page()->setSource(QUrl::fromLocalFile(QString::fromStdString(second)));
    ASSERT_TRUE(titleBecomes("第二页"));
    emit viewer->addressBox()->activated(0);
    EXPECT_TRUE(titleBecomes("KORVEL 帮助"));
}

TEST_F(HelpViewerTest, BackForwardAndRefreshFollowTheHistory) {
    viewer->open(first);
    ASSERT_TRUE(titleBecomes("KORVEL 帮助"));
    viewer->toolbarAction("Back")->trigger();  // no earlier page: nothing happens
    EXPECT_EQ(shownFile().toStdString(), first);

    viewer->form().setAddressText(second);
    viewer->form().cboAddressKeyPress(13);
    ASSERT_TRUE(titleBecomes("第二页"));

    viewer->toolbarAction("Back")->trigger();
    EXPECT_TRUE(titleBecomes("KORVEL 帮助"));
    viewer->toolbarAction("Forward")->trigger();
    EXPECT_TRUE(titleBecomes("第二页"));

    folder.write("other.htm", page("改过的第二页", ""));
    viewer->toolbarAction("Refresh")->trigger();
    EXPECT_TRUE(titleBecomes("改过的第二页"));

    viewer->toolbarAction("Stop")->trigger();
    EXPECT_EQ(viewer->windowTitle(), "改过的第二页");
}

TEST_F(HelpViewerTest, ToolbarButtonsCarryTheirTips) {
    const char* keys[] = {"Back", "Forward", "Stop", "Refresh"};
    const char* tips[] = {"向后", "向前", "停止", "刷新"};
    for (int i = 0; i < 4; ++i) {
        QAction* action = viewer->toolbarAction(keys[i]);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->toolTip(), QString::fromUtf8(tips[i]));
    }
}

TEST_F(HelpViewerTest, ResizingKeepsTheMarginsRightOfAndBelowThePage) {
    viewer->open(first);
    viewer->resize(600, 400);
    // 100 twips right and below, the page starting at 45, 525 twips (3, 35 pixels).
    EXPECT_EQ(viewer->page()->geometry(), QRect(3, 35, 593, 358));
    EXPECT_EQ(viewer->addressBox()->width(), 593);
    viewer->resize(4, 30);
    EXPECT_EQ(viewer->page()->geometry().size(), QSize(0, 0));
}

TEST_F(HelpViewerTest, ClosingDeletesTheViewer) {
    viewer->open(first);
    viewer->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer.isNull(); }, 2000));
}

}  // namespace
}  // namespace korvel::test
