// The main window draws its models and hands the user's actions on; nothing else is tested
// here (the handlers have tests of their own on the core).

#include "ui/qt/form1.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
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

using Calls = std::vector<std::string>;

class Form1Test : public ::testing::Test {
protected:
    Form1Test() : window(form, recordingActions()) {}

    FormActions recordingActions() {
        const auto record = [this](std::string call) {
            return [this, call] { calls.push_back(call); };
        };
        return FormActions{
            .toolbarClick = [this](int index) { calls.push_back(std::to_string(index)); },
            .cheshiClick = record("cheshi"),
            .xiaoshiClick = record("xiaoshi"),
            .shezhiClick = record("shezhi"),
            .guanyuClick = record("guanyu"),
            .applySettings = record("apply"),
            .cancelSettings = record("cancel"),
            .shutDown = record("shutDown"),
        };
    }

    template <typename Widget = QWidget>
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

    test::TestRig rig;
    MainForm& form = *rig.form;
    Calls calls;
    Form1 window;
};

// Toolbar buttons hand their index to the dispatcher; the menus, the panel's buttons, Esc
// (also while the panel is out of view) and closing the window run their handlers.
TEST_F(Form1Test, UserCommandsReachTheirHandlers) {
    showActive();
    for (const int index : {1, 2, 3, 4, 5, 6, 7, 9}) {
        QTest::mouseClick(child<QToolButton>(QStringLiteral("Toolbar1.Button%1").arg(index)),
                          Qt::LeftButton);
    }
    QMenuBar* menuBar = window.menuBar();
    ASSERT_EQ(menuBar->actions().size(), 4);
    for (QAction* item : menuBar->actions()) {
        QTest::mouseClick(menuBar, Qt::LeftButton, {}, menuBar->actionGeometry(item).center());
    }
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("Command7"), Qt::LeftButton);
    QTest::keyClick(&window, Qt::Key_Escape);
    QTest::keyClick(child<QLineEdit>("Text1"), Qt::Key_Escape);
    window.close();
    EXPECT_EQ(calls, (Calls{"1", "2", "3", "4", "5", "6", "7", "9", "cheshi", "xiaoshi", "shezhi",
                            "guanyu", "apply", "cancel", "cancel", "cancel", "shutDown"}));
}

TEST_F(Form1Test, ModelChangesReachTheWidgets) {
    const auto drawn = [](const QIcon& icon) {
        return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    const struct {
        const char* what;
        std::function<void()> change;
        std::function<bool()> shown;
    } cases[] = {
        {"text", [&] { form.Text1.setText("无法连接服务器"); },
         [&] { return child<QLineEdit>("Text1")->text() == QStringLiteral("无法连接服务器"); }},
        {"text colour on black", [&] { form.Text3.setForeColor(kGreen); },
         [&] {
             const QPalette palette = child<QLineEdit>("Text3")->palette();
             return palette.color(QPalette::Text) == QColor(0, 255, 0) &&
                    palette.color(QPalette::Base) == Qt::black;
         }},
        {"tool tip", [&] { form.Text3.setToolTip("提示"); },
         [&] { return child<QLineEdit>("Text3")->toolTip() == QStringLiteral("提示"); }},
        {"hidden box shown", [&] { form.Text4.setVisible(true); },
         [&] { return child<QLineEdit>("Text4")->isVisibleTo(&window); }},
        {"check box",
         [&] {
             form.Check1.setTicked(true);
             form.Check3.setEnabled(false);
         },
         [&] {
             return child<QCheckBox>("Check1")->isChecked() &&
                    !child<QCheckBox>("Check3")->isEnabled();
         }},
        {"scroll bar",
         [&] {
             form.HScroll2.setValue(250);
             form.HScroll1.setEnabled(true);
         },
         [&] {
             return child<QScrollBar>("HScroll2")->value() == 250 &&
                    child<QScrollBar>("HScroll1")->isEnabled();
         }},
        {"label", [&] { form.Label8.setCaption("0.5"); },
         [&] { return child<QLabel>("Label8")->text() == QStringLiteral("0.5"); }},
        {"status bar", [&] { form.StatusBar1.setPanel(1, "校时数据保存: 开启 "); },
         [&] {
             return child<QLabel>("StatusBar1.Panel2")->text() ==
                    QStringLiteral("校时数据保存: 开启 ");
         }},
        {"caption", [&] { form.Form1.setCaption("连接服务器               ->"); },
         [&] { return window.windowTitle() == QStringLiteral("连接服务器               ->"); }},
        {"refused indicator", [&] { form.Toolbar1.setIndicatorImage(Toolbar::kRefusedImage); },
         [&] {
             return drawn(child<QToolButton>("Toolbar1.Button9")->icon()) == drawn(picture(8));
         }},
    };
    for (const auto& c : cases) {
        c.change();
        EXPECT_TRUE(c.shown()) << c.what;
    }
}

TEST_F(Form1Test, UserActionsReachTheModels) {
    int check1Clicks = 0;
    form.Check1.onClick = [&] { ++check1Clicks; };
    form.HScroll1.setEnabled(true);
    QTest::mouseClick(child<QCheckBox>("Check1"), Qt::LeftButton);
    EXPECT_TRUE(form.Check1.isTicked());
    EXPECT_EQ(check1Clicks, 1);

    auto* bar = child<QScrollBar>("HScroll1");
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(form.HScroll1.value(), 4);
    // Dragging the thumb reports the value only when it is let go.
    bar->setSliderDown(true);
    bar->setSliderPosition(9);
    EXPECT_EQ(form.HScroll1.value(), 4);
    bar->setSliderDown(false);
    EXPECT_EQ(form.HScroll1.value(), 9);

    form.Text9.setText("");
    QTest::keyClicks(child<QLineEdit>("Text9"), "10.0.0.1");
    EXPECT_EQ(form.Text9.text(), "10.0.0.1");
}

TEST_F(Form1Test, WindowFollowsTheSlideStepByStep) {
    const int collapsedPixels = twipsToPixels(6100 - 112);
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    // The indicator fits the collapsed window.
    EXPECT_LE(child("Toolbar1.Button9")->geometry().right(), collapsedPixels - 1);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    struct ResizeRecorder : QObject {
        std::vector<int> widths;
        bool eventFilter(QObject* object, QEvent* event) override {
            if (event->type() == QEvent::Resize) {
                widths.push_back(static_cast<QWidget*>(object)->width());
            }
            return false;
        }
    } recorder;
    QWidget* client = child("clientArea");
    client->installEventFilter(&recorder);
    std::vector<int> expected;
    for (int width = 6200; width <= 9600; width += 100) {
        form.Form1.setGeometry(300, width);
        expected.push_back(twipsToPixels(width - 112));
    }
    QTRY_COMPARE(client->width(), expected.back());
    EXPECT_EQ(recorder.widths, expected);
    EXPECT_EQ(window.width(), expected.back());
    EXPECT_EQ(window.x(), twipsToPixels(300));

    form.Form1.setGeometry(300, 6100);
    QTRY_COMPARE(window.width(), collapsedPixels);
}

}  // namespace
}  // namespace korvel
