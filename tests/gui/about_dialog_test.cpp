#include "ui/qt/about_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "support/fake_feedback.h"
#include "support/fake_files.h"
#include "support/fake_system.h"

namespace korvel::test {
namespace {

// Runs action once the next modal window is up.
void whenModalOpens(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* modal = nullptr;
        if (QTest::qWaitFor(
                [&] { return (modal = QApplication::activeModalWidget()) != nullptr; })) {
            action(modal);
        }
    });
}

struct AboutDialogTest : ::testing::Test {
    FakeRegistry registry;
    FakeFileSystem files;
    FakeLauncher launcher;
    ScriptedMessageBox messageBox;
    AboutDialog dialog{nullptr, {registry, files, launcher, messageBox}};
};

// A fixed-size box that shows every caption whole; Enter, Esc and the close box shut it; its
// button runs the look-up of the tool, which tells there is none.
TEST_F(AboutDialogTest, FixedBoxShowsEveryCaptionAndEnterEscOrCloseShutIt) {
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
    }
    const std::function<void(QWidget*)> ways[] = {
        [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); },
        [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); },
        [](QWidget* box) { box->close(); },
    };
    for (const auto& way : ways) {
        whenModalOpens(way);
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_FALSE(dialog.isVisible());
    }
    QTest::mouseClick(dialog.sysInfoButton(), Qt::LeftButton);
    EXPECT_EQ(messageBox.shown, std::vector<std::string>{"此时系统信息无效"});
}

}  // namespace
}  // namespace korvel::test
