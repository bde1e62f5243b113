#include "ui/qt/about_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "support/fake_files.h"
#include "support/fake_system.h"

namespace korvel::test {
namespace {

const std::string kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";

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
    AboutDialog dialog{nullptr, registry, files, launcher};
};

TEST_F(AboutDialogTest, ShowsItsFixedCaptions) {
    EXPECT_EQ(dialog.windowTitle(), "关于 HORLO");
    QStringList captions;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        captions.append(label->text());
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
    }
    EXPECT_TRUE(captions.contains("版本  1.00 "));
    EXPECT_TRUE(captions.contains("与MERIDORSNTP时间服务器保持时间同步。"));
    EXPECT_TRUE(captions.contains(QString::fromUtf8(about::lblTitle)));
    EXPECT_TRUE(captions.contains(QString::fromUtf8(about::Label1)));
    EXPECT_EQ(dialog.okButton()->text(), "确定");
    EXPECT_EQ(dialog.sysInfoButton()->text(), "系统信息");
    EXPECT_TRUE(dialog.okButton()->isDefault());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
}

TEST_F(AboutDialogTest, EnterEscAndTheCloseBoxAllClose) {
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
}

TEST_F(AboutDialogTest, SysInfoWithoutAToolSaysSoAndTheBoxStaysOpen) {
    dialog.show();
    QString message;
    whenModalOpens([&](QWidget* box) {
        message = static_cast<QMessageBox*>(box)->text();
        static_cast<QMessageBox*>(box)->accept();
    });
    QTest::mouseClick(dialog.sysInfoButton(), Qt::LeftButton);
    EXPECT_EQ(message, "此时系统信息无效");
    EXPECT_TRUE(launcher.started.empty());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(AboutDialogTest, SysInfoStartsTheRegisteredTool) {
    registry.setString(kMsInfoKey, "PATH", "/usr/bin/hardinfo");
    dialog.show();
    QTest::mouseClick(dialog.sysInfoButton(), Qt::LeftButton);
    EXPECT_EQ(launcher.started, std::vector<std::string>{"/usr/bin/hardinfo"});
    EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
}  // namespace korvel::test
