#include "ui/qt/help_viewer.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <string>

#include "platform/qt/qt_timers.h"
#include "support/temp_folder.h"

namespace korvel::test {
namespace {

std::string page(const std::string& title, const std::string& body) {
    return "<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head><body>" + body +
           "</body></html>";
}

struct HelpViewerTest : ::testing::Test {
    TempFolder folder;
    QtTimerService timers;
    QPointer<HelpViewer> viewer = new HelpViewer(timers);
    // Pages long enough to scroll.
    std::string lines = QString("<p>第一页</p>").repeated(200).toStdString();
    std::string first = folder.write("HELP.HTM", page("KORVEL 帮助", lines)).string();
    std::string second = folder.write("other.htm", page("第二页", "<p>第二页</p>")).string();

    ~HelpViewerTest() override { delete viewer.data(); }

    // Title updates arrive from the event loop and the 5 ms timer.
    bool titleBecomes(const QString& title) {
        return QTest::qWaitFor([&] { return viewer->windowTitle() == title; }, 2000);
    }
};

// The page takes the keyboard first, and again after Tab passed the hidden address box, so Page
// Down scrolls it. Enter in that box and a choice from its list open a page; Refresh reloads it
// and Stop keeps it.
TEST_F(HelpViewerTest, AddressBoxAndToolbarNavigate) {
    viewer->open(first);
    ASSERT_TRUE(titleBecomes("KORVEL 帮助"));
    viewer->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(viewer));
    for (int tabs = 0; tabs < 3; tabs += 2) {
        EXPECT_EQ(QApplication::focusWidget(), viewer->page()) << tabs;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
    EXPECT_GT(viewer->page()->verticalScrollBar()->value(), 0);
    QLineEdit* edit = viewer->addressBox()->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromStdString(second));
    EXPECT_EQ(viewer->page()->source().toLocalFile().toStdString(), first);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(titleBecomes("第二页"));
    ASSERT_EQ(viewer->addressBox()->count(), 1);  // Enter adds nothing to the list
    emit viewer->addressBox()->activated(0);
    EXPECT_TRUE(titleBecomes("KORVEL 帮助"));
    folder.write("HELP.HTM", page("改过的帮助", ""));
    viewer->toolbarAction("Refresh")->trigger();
    EXPECT_TRUE(titleBecomes("改过的帮助"));
    viewer->toolbarAction("Stop")->trigger();
    EXPECT_EQ(viewer->windowTitle(), "改过的帮助");

    // A page that is not there shows a notice naming it.
    viewer->form().setAddressText(folder.path().string() + "/missing/HELP.HTM");
    viewer->form().cboAddressKeyPress(13);
    EXPECT_TRUE(titleBecomes("无法显示网页"));
    EXPECT_TRUE(viewer->page()->toPlainText().contains("missing/HELP.HTM"));

    // Resizing keeps 100 twips right of and below the page, which starts at 45, 525 twips.
    viewer->resize(600, 400);
    EXPECT_EQ(viewer->page()->geometry(), QRect(3, 35, 593, 358));
    EXPECT_EQ(viewer->addressBox()->width(), 593);
    viewer->resize(4, 30);
    EXPECT_EQ(viewer->page()->geometry().size(), QSize(0, 0));
}

// A followed link stays marked in its page; back and forward still return to the section and
// the scroll position the reader left, not to the link.
TEST_F(HelpViewerTest, HistoryReturnsToTheSectionAndScrollPositionOfEachEntry) {
    const std::string body =
        "<p><a href=\"#far\">远处</a></p>" + lines + "<p><a name=\"far\"></a></p>" + lines;
    viewer->open(folder.write("long.htm", page("长页", body)).string());
    ASSERT_TRUE(titleBecomes("长页"));
    QScrollBar* bar = viewer->page()->verticalScrollBar();
    const QTextCursor link = viewer->page()->document()->find(QStringLiteral("远处"));
    QTest::mouseClick(viewer->page()->viewport(), Qt::LeftButton, {},
                      viewer->page()->cursorRect(link).topLeft() + QPoint(-2, 2));
    ASSERT_EQ(viewer->page()->source().fragment(), "far");
    bar->setValue(bar->value() + 37);
    const int readerAt = bar->value();
    for (const char* key : {"Back", "Forward", "Back", "Forward"}) {
        viewer->toolbarAction(key)->trigger();
        const bool back = std::string(key) == "Back";
        EXPECT_EQ(viewer->page()->source().fragment(), back ? "" : "far") << key;
        EXPECT_EQ(bar->value(), back ? 0 : readerAt) << key;
    }
}

}  // namespace
}  // namespace korvel::test
