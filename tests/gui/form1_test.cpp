// The main window draws its models and hands the user's actions on; nothing else is tested
// here (the handlers have tests of their own on the core).

#include "ui/qt/form1.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <string>
#include <vector>

#include "support/test_rig.h"
#include "ui/qt/pictures.h"
#include "ui/qt/twips.h"

namespace korvel {
namespace {

using test::TestRig;

// Client area width of the collapsed and expanded window.
const int kCollapsedClientPixels = twipsToPixels(5988);
const int kExpandedClientPixels = twipsToPixels(9600 - 112);

class Form1Test : public ::testing::Test {
protected:
    Form1Test() : window(*rig.form, recordingActions()) {}

    FormActions recordingActions() {
        const auto record = [this](std::string call) {
            return [this, call] { calls.push_back(call); };
        };
        return FormActions{
            .toolbarClick =
                [this](int index) { calls.push_back("toolbar " + std::to_string(index)); },
            .cheshiClick = record("cheshi"),
            .xiaoshiClick = record("xiaoshi"),
            .shezhiClick = record("shezhi"),
            .guanyuClick = record("guanyu"),
            .applySettings = record("apply"),
            .cancelSettings = record("cancel"),
            .shutDown = record("shutDown"),
        };
    }

    template <typename Widget>
    Widget* child(const QString& name) {
        auto* widget = window.findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }

    void showActive() {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    TestRig rig;
    std::vector<std::string> calls;
    Form1 window;
};

QImage drawn(const QIcon& icon) {
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST_F(Form1Test, ToolbarButtonsHandTheirIndexToTheDispatcher) {
    struct Case {
        int index;
        const char* toolTip;
    };
    const Case cases[] = {
        {1, "测量时间服务器与本机时差"},
        {2, "校准本机时间"},
        {3, "参数设置"},
        {4, "主页 "},
        {5, "关于"},
        {6, "帮助"},
        {7, "退出"},
        {9, ""},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        auto* button = child<QToolButton>(QStringLiteral("Toolbar1.Button%1").arg(c.index));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(c.toolTip)) << c.index;
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QTest::mouseClick(button, Qt::LeftButton);
        expected.push_back("toolbar " + std::to_string(c.index));
    }
    EXPECT_EQ(calls, expected);
}

TEST_F(Form1Test, MenuItemsRunTheirHandlers) {
    struct Case {
        const char* name;
        const char* caption;
    };
    const Case cases[] = {
        {"cheshi", "测时(&C)"},
        {"xiaoshi", "校准(&A)"},
        {"shezhi", "设置(&S)"},
        {"guanyu", "关于(&W)       "},
    };
    showActive();
    QMenuBar* menuBar = window.menuBar();
    ASSERT_EQ(menuBar->actions().size(), 4);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        QAction* item = menuBar->actions().at(static_cast<qsizetype>(i));
        EXPECT_EQ(item->objectName(), QString::fromUtf8(cases[i].name));
        EXPECT_EQ(item->text(), QString::fromUtf8(cases[i].caption));
        EXPECT_EQ(item->menu(), nullptr);
        QTest::mouseClick(menuBar, Qt::LeftButton, {}, menuBar->actionGeometry(item).center());
        expected.push_back(cases[i].name);
    }
    EXPECT_EQ(calls, expected);
}

TEST_F(Form1Test, PanelButtonsRunApplyAndCancel) {
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("Command7"), Qt::LeftButton);
    EXPECT_EQ(child<QPushButton>("Command1")->text(), QStringLiteral("确  定"));
    EXPECT_EQ(child<QPushButton>("Command7")->text(), QStringLiteral("取  消"));
    EXPECT_EQ(calls, (std::vector<std::string>{"apply", "cancel"}));
}

TEST_F(Form1Test, EscapeRunsCancelAlsoWhileThePanelIsOutOfView) {
    showActive();
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::keyClick(child<QLineEdit>("Text1"), Qt::Key_Escape);
    EXPECT_EQ(calls, (std::vector<std::string>{"cancel", "cancel"}));
}

TEST_F(Form1Test, ClosingTheWindowRunsShutDown) {
    window.show();
    window.close();
    EXPECT_EQ(calls, std::vector<std::string>{"shutDown"});
}

TEST_F(Form1Test, ModelChangesReachTheWidgets) {
    MainForm& form = *rig.form;
    struct Case {
        const char* what;
        std::function<void()> change;
        std::function<bool()> drawn;
    };
    const Case cases[] = {
        {"server clock text", [&] { form.Text1.setText("无法连接服务器"); },
         [&] { return child<QLineEdit>("Text1")->text() == QStringLiteral("无法连接服务器"); }},
        {"offset colour", [&] { form.Text3.setForeColor(kGreen); },
         [&] {
             return child<QLineEdit>("Text3")->palette().color(QPalette::Text) == QColor(0, 255, 0);
         }},
        {"black boxes", [] {},
         [&] { return child<QLineEdit>("Text2")->palette().color(QPalette::Base) == Qt::black; }},
        {"log path shown", [&] { form.Text4.setVisible(true); },
         [&] { return child<QLineEdit>("Text4")->isVisibleTo(&window); }},
        {"check box ticked", [&] { form.Check1.setTicked(true); },
         [&] { return child<QCheckBox>("Check1")->isChecked(); }},
        {"check box disabled", [&] { form.Check3.setEnabled(false); },
         [&] { return !child<QCheckBox>("Check3")->isEnabled(); }},
        {"scroll bar value", [&] { form.HScroll2.setValue(250); },
         [&] { return child<QScrollBar>("HScroll2")->value() == 250; }},
        {"scroll bar enabled", [&] { form.HScroll1.setEnabled(true); },
         [&] { return child<QScrollBar>("HScroll1")->isEnabled(); }},
        {"interval display", [&] { form.Label8.setCaption("0.5"); },
         [&] { return child<QLabel>("Label8")->text() == QStringLiteral("0.5"); }},
        {"status bar panels",
         [&] {
             form.StatusBar1.setPanel(0, "自动校时: 每0.5小时   时差限制: 无  ");
             form.StatusBar1.setPanel(1, "校时数据保存: 开启 ");
         },
         [&] {
             return child<QLabel>("StatusBar1.Panel1")->text() ==
                        QStringLiteral("自动校时: 每0.5小时   时差限制: 无  ") &&
                    child<QLabel>("StatusBar1.Panel2")->text() ==
                        QStringLiteral("校时数据保存: 开启 ");
         }},
        {"caption", [&] { form.Form1.setCaption("连接服务器               ->"); },
         [&] { return window.windowTitle() == QStringLiteral("连接服务器               ->"); }},
        {"refused indicator", [&] { form.Toolbar1.setIndicatorImage(Toolbar::kRefusedImage); },
         [&] {
             return drawn(child<QToolButton>("Toolbar1.Button9")->icon()) == drawn(picture(8));
         }},
        {"indicator at rest", [&] { form.Toolbar1.setIndicatorImage(Toolbar::kRestImage); },
         [&] {
             return drawn(child<QToolButton>("Toolbar1.Button9")->icon()) == drawn(picture(5));
         }},
    };
    for (const Case& c : cases) {
        c.change();
        EXPECT_TRUE(c.drawn()) << c.what;
    }
}

TEST_F(Form1Test, UserActionsReachTheModels) {
    MainForm& form = *rig.form;
    int check1Clicks = 0;
    int hscroll1Changes = 0;
    form.Check1.onClick = [&] { ++check1Clicks; };
    form.HScroll1.onChange = [&] { ++hscroll1Changes; };
    form.HScroll1.setEnabled(true);

    QTest::mouseClick(child<QCheckBox>("Check1"), Qt::LeftButton);
    EXPECT_TRUE(form.Check1.isTicked());
    EXPECT_EQ(check1Clicks, 1);

    child<QScrollBar>("HScroll1")->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(form.HScroll1.value(), 4);
    EXPECT_EQ(hscroll1Changes, 1);

    form.Text9.setText("");
    QTest::keyClicks(child<QLineEdit>("Text9"), "10.0.0.1");
    EXPECT_EQ(form.Text9.text(), "10.0.0.1");
}

TEST_F(Form1Test, DraggingTheThumbReportsOnlyAtRelease) {
    MainForm& form = *rig.form;
    form.HScroll1.setEnabled(true);
    auto* bar = child<QScrollBar>("HScroll1");
    bar->setSliderDown(true);
    bar->setSliderPosition(9);
    EXPECT_EQ(form.HScroll1.value(), 1);
    bar->setSliderDown(false);
    EXPECT_EQ(form.HScroll1.value(), 9);
}

TEST_F(Form1Test, ControlsSitWhereTheWindowIsDesigned) {
    struct Case {
        const char* name;
        QRect twips;
    };
    const Case cases[] = {
        {"Frame1", {210, 1020, 5565, 3075}},  {"Frame3", {6120, 1020, 3225, 3075}},
        {"Text1", {1170, 540, 4185, 495}},    {"Text2", {1170, 1320, 4185, 525}},
        {"Text3", {1170, 2100, 4185, 495}},   {"HScroll1", {240, 1152, 2745, 195}},
        {"HScroll2", {240, 1760, 2745, 195}},
    };
    for (const Case& c : cases) {
        const QRect& t = c.twips;
        EXPECT_EQ(child<QWidget>(c.name)->geometry(),
                  twipsRect(t.x(), t.y(), t.width(), t.height()))
            << c.name;
    }
    EXPECT_EQ(child<QWidget>("clientArea")->size(),
              QSize(kCollapsedClientPixels, twipsToPixels(4524)));
    EXPECT_EQ(child<QWidget>("Toolbar1")->geometry(),
              QRect(0, 0, kCollapsedClientPixels, twipsToPixels(636)));
    EXPECT_EQ(child<QWidget>("StatusBar1")->geometry(),
              QRect(0, twipsToPixels(4212), kCollapsedClientPixels, twipsToPixels(312)));
    // The indicator fits the collapsed window.
    const QWidget* indicator = child<QWidget>("Toolbar1.Button9");
    EXPECT_LE(indicator->geometry().right(), kCollapsedClientPixels - 1);
    EXPECT_FALSE(child<QWidget>("Text4")->isVisibleTo(&window));
}

TEST_F(Form1Test, WindowFollowsTheSlideStepByStep) {
    MainForm& form = *rig.form;
    EXPECT_TRUE(window.minimumSize() == window.maximumSize());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    std::vector<int> drawnWidths;
    auto* client = child<QWidget>("clientArea");
    struct Filter : QObject {
        std::vector<int>* widths;
        bool eventFilter(QObject* object, QEvent* event) override {
            if (event->type() == QEvent::Resize) {
                widths->push_back(static_cast<QWidget*>(object)->width());
            }
            return false;
        }
    } filter;
    filter.widths = &drawnWidths;
    client->installEventFilter(&filter);

    std::vector<int> expected;
    for (int width = 6200; width <= 9600; width += 100) {
        form.Form1.setGeometry(300, width);
        expected.push_back(twipsToPixels(width - 112));
    }
    QTRY_COMPARE(client->width(), kExpandedClientPixels);
    EXPECT_EQ(drawnWidths, expected);
    EXPECT_EQ(window.width(), kExpandedClientPixels);
    EXPECT_EQ(window.x(), twipsToPixels(300));

    form.Form1.setGeometry(300, 6100);
    QTRY_COMPARE(window.width(), kCollapsedClientPixels);
}

}  // namespace
}  // namespace korvel
