#include "platform/qt/qt_user_feedback.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTranslator>

namespace korvel {
namespace {

QString okButtonText() {
    QMessageBox box(QMessageBox::NoIcon, {}, {}, QMessageBox::Ok);
    return box.button(QMessageBox::Ok)->text();
}

// Qt's own texts follow the Chinese window in any locale; without the file they stay English.
TEST(ChineseQtTexts, MessageBoxAndTextBoxMenuSpeakChineseWhenTheFileIsThere) {
    QTranslator missing;
    EXPECT_FALSE(installChineseQtTexts(missing, QStringLiteral("/no/such/folder")));
    EXPECT_EQ(okButtonText(), "OK");

    QTranslator translator;
    ASSERT_TRUE(installChineseQtTexts(translator));
    EXPECT_EQ(okButtonText(), "确定");
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Paste"), "粘贴(&P)");
}

}  // namespace
}  // namespace korvel
