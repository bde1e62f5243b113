// The main window draws its models and hands the user's actions on; nothing else is tested
// here (the handlers have tests of their own on the core).

#include "ui/qt/form1.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <functional>
#include <string>
#include <vector>

#include "support/test_rig.h"
#include "ui/qt/pictures.h"
#include "ui/qt/twips.h"

namespace korvel {
namespace {

using Calls = std::vector<std::string>;

class Form1Test : public ::testing::Test {
protected:
    Form1Test() : window(form, recordingActions()) {}

    std::function<void()> record(std::string call) {
        return [this, call] { calls.push_back(call); };
    }
    FormActions recordingActions() {
        return {.toolbarClick = [this](int index) { calls.push_back(std::to_string(index)); },
                .cheshiClick = record("cheshi"),
                .xiaoshiClick = record("xiaoshi"),
                .shezhiClick = record("shezhi"),
                .guanyuClick = record("guanyu"),
                .applySettings = record("apply"),
                .cancelSettings = record("cancel"),
                .exitNow = record("exit"),
                .closeWindow =
                    [this] {
                        calls.push_back("close");
                        return true;
                    },
                .openWindow = record("open"),
                .trayShown = [](bool) {},
                .toggleStartWithSession = record("session"),
                .toggleCloseToTray = record("tray"),
                .showBurstDetails = record("details")};
    }

    template <typename Widget = QWidget>
    Widget* child(const QString& name) {
        auto* widget = window.findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }

    test::TestRig rig;
    MainForm& form = *rig.form;
    Calls calls;
    Form1 window;
};

// Tab goes through the designed order over what can take the focus and is in view: the
// panel's controls only while the window is wide. A focused scroll bar shows it and takes the
// keys by the model's rule (Page Up lowers). Then, the panel out of view: the hidden exit button
// Command4 takes the first Tab and Space presses it; toolbar buttons hand
// their index to the dispatcher; the menus, the panel's buttons, Esc and closing the window
// run their handlers.
TEST_F(Form1Test, UserInputReachesTheControlsInTheDesignedOrderAndTheHandlers) {
    form.panel.HScroll1.setEnabled(true);
    form.panel.HScroll2.setEnabled(true);
    form.panel.HScroll2.setValue(1000);
    form.Form1.setGeometry(0, 9600);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const auto tabs = [](int count) {
        std::vector<QString> reached;
        for (int i = 0; i < count; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            reached.push_back(QApplication::focusWidget()->objectName());
        }
        return reached;
    };
    EXPECT_EQ(tabs(17),
              (std::vector<QString>{"Command4", "Check1", "Check2", "HScroll1", "Check3",
                                    "HScroll2", "Text3", "Text2", "Text1", "Command1", "Command7",
                                    "Text9", "Text10", "Text11", "Text12", "Text13", "Command4"}));

    auto* bar = child<QScrollBar>("HScroll2");
    const QImage unfocused = bar->grab().toImage();
    bar->setFocus();
    EXPECT_NE(bar->grab().toImage(), unfocused);
    std::vector<int> values;
    for (const Qt::Key key : {Qt::Key_Right, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Left,
                              Qt::Key_Up, Qt::Key_Home, Qt::Key_End}) {
        QTest::keyClick(bar, key);
        values.push_back(form.panel.HScroll2.value());
    }
    EXPECT_EQ(values, (std::vector<int>{1001, 991, 1001, 1000, 999, 1, 9999}));

    form.Form1.setGeometry(0, 6100);  // the panel slides out of view, the focus with it
    rig.time.advance(5);
    EXPECT_EQ(QApplication::focusWidget(), child("clientArea"));
    EXPECT_EQ(tabs(5), (std::vector<QString>{"Command4", "Text3", "Text2", "Text1", "Command4"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);  // out with the keyboard alone

    for (const int index : {1, 2, 3, 4, 5, 6, 7, 9}) {
        QTest::mouseClick(child<QToolButton>(QStringLiteral("Toolbar1.Button%1").arg(index)),
                          Qt::LeftButton);
    }
    QMenuBar* menuBar = window.menuBar();
    ASSERT_EQ(menuBar->actions().size(), 5);
    for (QAction* item : menuBar->actions().first(4)) {
        QTest::mouseClick(menuBar, Qt::LeftButton, {}, menuBar->actionGeometry(item).center());
    }
    // A tick shows the model, not the click: these handlers change nothing.
    for (const char* name : {"startWithSession", "closeToTray", "burstDetails"}) {
        auto* item = child<QAction>(name);
        item->trigger();
        EXPECT_FALSE(item->isChecked()) << name;
    }
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("Command7"), Qt::LeftButton);
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::keyClick(child<QLineEdit>("Text1"), Qt::Key_Escape);
    auto* address = child<QComboBox>("Text9");
    address->showPopup();
    QTest::keyClick(address->view(), Qt::Key_Escape);  // closes the list alone
    EXPECT_FALSE(address->view()->isVisible());
    QTest::keyClick(child<QComboBox>("Text9"), Qt::Key_F1);
    window.close();
    EXPECT_EQ(calls,
              (Calls{"exit",  "1",      "2",       "3",      "4",      "5",       "6",    "7",
                     "9",     "cheshi", "xiaoshi", "shezhi", "guanyu", "session", "tray", "details",
                     "apply", "cancel", "cancel",  "cancel", "6",      "close"}));
}

// What the user does reaches the models; then what the models hold reaches the widgets.
TEST_F(Form1Test, UserActionsReachTheModelsAndModelChangesTheWidgets) {
    int check1Clicks = 0;
    form.panel.Check1.onClick = [&] { ++check1Clicks; };
    form.panel.HScroll1.setEnabled(true);
    QTest::mouseClick(child<QCheckBox>("Check1"), Qt::LeftButton);
    EXPECT_TRUE(form.panel.Check1.isTicked());
    EXPECT_EQ(check1Clicks, 1);

    auto* bar = child<QScrollBar>("HScroll1");
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(form.panel.HScroll1.value(), 4);
    // Dragging the thumb reports the value only when it is let go.
    bar->setSliderDown(true);
    bar->setSliderPosition(9);
    EXPECT_EQ(form.panel.HScroll1.value(), 4);
    bar->setSliderDown(false);
    EXPECT_EQ(form.panel.HScroll1.value(), 9);

    auto* address = child<QComboBox>("Text9");
    address->setCurrentIndex(1);
    EXPECT_EQ(form.panel.Text9.text(), "ntp.tencent.com");
    form.panel.Text9.setText("");
    QTest::keyClicks(address->lineEdit(), "10.0.0.1");
    QTest::keyClicks(child<QComboBox>("Text12")->lineEdit(), "ntp.ntsc.ac.cn");
    QTest::keyClicks(child<QLineEdit>("Text3"), "123.456");  // a display box takes no typing
    EXPECT_EQ(form.panel.Text9.text() + "|" + form.panel.Text12.text() + "|" + form.Text3.text(),
              "10.0.0.1|ntp.ntsc.ac.cn|");
    form.panel.Text9.selectAll();
    EXPECT_EQ(address->lineEdit()->selectedText(), "10.0.0.1");

    form.Text1.setText("无法连接服务器");
    form.Text3.setForeColor(kGreen);
    form.Text3.setToolTip("提示");
    form.panel.Text4.setVisible(true);
    form.panel.Check1.setTicked(false);  // the click ticked it
    form.panel.Check3.setEnabled(false);
    form.panel.HScroll1.setEnabled(false);
    form.panel.HScroll2.setValue(250);
    form.panel.Label8.setCaption("0.5");
    form.StatusBar1.setPanel(1, "校时数据保存: 开启 ");
    form.Form1.setCaption("连接服务器               ->");
    form.Toolbar1.setIndicatorImage(Toolbar::kRefusedImage);
    form.closeToTray.setTicked(true);

    // Too long for the box: its start stays in view.
    form.Text3.setText(" -1780000000.250000 秒");
    auto* offsetBox = child<QLineEdit>("Text3");
    EXPECT_EQ((QStringList{child<QLineEdit>("Text1")->text(), offsetBox->toolTip(),
                           child<QLabel>("Label8")->text(),
                           child<QLabel>("StatusBar1.Panel2")->text(), window.windowTitle()}),
              (QStringList{"无法连接服务器", "提示", "0.5", "校时数据保存: 开启 ",
                           "连接服务器               ->"}));
    EXPECT_EQ(offsetBox->cursorPosition(), 0);
    EXPECT_EQ(offsetBox->palette().color(QPalette::Text), QColor(0, 255, 0));
    EXPECT_EQ(offsetBox->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_TRUE(child("Text4")->isVisibleTo(&window) && !child<QCheckBox>("Check1")->isChecked() &&
                !child("Check3")->isEnabled() && !child("HScroll1")->isEnabled() &&
                child<QScrollBar>("HScroll2")->value() == 250 &&
                child<QAction>("closeToTray")->isChecked());
    const auto drawn = [](const QIcon& icon) { return icon.pixmap(32, 32).toImage(); };
    EXPECT_EQ(drawn(child<QToolButton>("Toolbar1.Button9")->icon()), drawn(picture(8)));

    // To the tray and back; meanwhile a closed box or viewer does not end the program.
    form.Form1.setShown(true);
    form.Form1.setShown(false);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
    window.showMinimized();
    form.Form1.bringToFront();
    EXPECT_TRUE(window.isVisible() && !window.isMinimized());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
}

// The boxes of the servers after the first sit in the panel below its buttons, one under the
// other, and the panel above the status bar. The window draws each step of the slide in turn
// (virtual time), and only a move to a place it was never put at reaches the window state as
// the user's; the rules are WindowSlide's.
TEST_F(Form1Test, WindowDrawsTheSlideAndPassesOnTheUsersMove) {
    QWidget* frame = child("Frame3");
    int above = child("Command7")->geometry().bottom();
    for (const char* name : {"Text11", "Text12", "Text13"}) {
        const QRect box = child(name)->geometry();
        EXPECT_GT(box.top(), above) << name;
        EXPECT_TRUE(frame->rect().contains(box)) << name;
        above = box.bottom();
    }
    EXPECT_LT(frame->geometry().bottom(), child("StatusBar1")->geometry().top());
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    // The indicator fits the collapsed window.
    EXPECT_LT(child("Toolbar1.Button9")->geometry().right(), twipsToPixels(6100 - 112));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Every drop-down's list shows its entries whole; the address box shows its own whole too.
    for (const char* name : {"Text9", "Text11", "Text12", "Text13"}) {
        auto* box = child<QComboBox>(name);
        QAbstractItemView* list = box->view();
        const int listRoom = list->minimumWidth() - 2 * list->frameWidth() -
                             list->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const int boxRoom = box->lineEdit()->contentsRect().width() - 4;  // its margins
        for (int i = 0; i < box->count(); ++i) {
            const int needed = box->fontMetrics().horizontalAdvance(box->itemText(i));
            EXPECT_GE(listRoom, needed) << name << i;
            EXPECT_TRUE(name != std::string("Text9") || boxRoom >= needed) << name << i;
        }
    }
    form.Form1.setGeometry(300, 6100);
    form.Form1.setGeometry(300, 6200);
    rig.time.advance(5);
    EXPECT_EQ(window.pos(), QPoint(twipsToPixels(300), window.y()));
    EXPECT_EQ(child("clientArea")->width(), twipsToPixels(6100 - 112));
    rig.time.advance(5);
    EXPECT_EQ(window.width(), twipsToPixels(6200 - 112));

    // A window manager confirming an earlier placement late, then the user's move.
    const int top = window.y();
    window.windowHandle()->setFramePosition(QPoint(0, top));
    QTest::qWait(20);
    EXPECT_EQ(form.Form1.leftTwips(), 300);
    window.move(40, 70);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Form1.leftTwips() == 40 * 15; }));

    // The status bar's panels read back: the summaries whole however long, the last panel's
    // text cut with an ellipsis and whole in its tool tip, and no room taken when it is empty.
    const QString cause = "本机没有可请求的时间服务，本程序无法校准本机时钟";
    const auto shown = [&](int panel) {
        auto* label = child<QLabel>(QStringLiteral("StatusBar1.Panel%1").arg(panel));
        const bool whole =
            label->contentsRect().width() >= label->fontMetrics().horizontalAdvance(label->text());
        return (whole ? "" : "cut:") + label->text();
    };
    for (const char* summary :
         {"自动校时: 关闭  ", "自动校时: 每1.2小时   时差限制: 1000 毫秒  "}) {
        form.StatusBar1.setPanel(0, summary);
        form.StatusBar1.setPanel(1, "校时数据保存: 关闭 ");
        form.StatusBar1.setPanel(2, cause.toStdString());
        QApplication::processEvents();
        EXPECT_EQ(shown(1), QString::fromUtf8(summary));
        EXPECT_EQ(shown(2), "校时数据保存: 关闭 ");
    }
    form.StatusBar1.setPanel(0, "自动校时: 关闭  ");
    QApplication::processEvents();
    auto* last = child<QLabel>("StatusBar1.Panel3");
    EXPECT_TRUE(last->text().endsWith(QStringLiteral("…")) &&
                cause.startsWith(last->text().chopped(1)))
        << last->text().toStdString();
    EXPECT_EQ(last->toolTip(), cause);
    form.StatusBar1.setPanel(2, "");
    EXPECT_FALSE(last->isVisible());
}

}  // namespace
}  // namespace korvel
