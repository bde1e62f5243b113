#include "platform/qt/qt_user_feedback.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

namespace korvel {
namespace {

// Qt's own texts follow the Chinese window in any locale; without the file they stay English.
// A question offers 确定 and 取消, 取消 the default (Enter steps nothing); the answer is the
// button pressed.
TEST(QtMessageBox, SpeaksChineseWhenTheFileIsThereAndAsksWithCancelTheDefault) {
    const auto paste = [] { return QCoreApplication::translate("QLineEdit", "&Paste"); };
    QTranslator missing;
    EXPECT_FALSE(installChineseQtTexts(missing, QStringLiteral("/no/such/folder")));
    EXPECT_EQ(paste(), "&Paste");
    QTranslator translator;
    ASSERT_TRUE(installChineseQtTexts(translator));
    EXPECT_EQ(paste(), "粘贴(&P)");
    for (const auto pressed : {QMessageBox::Ok, QMessageBox::Cancel}) {
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = {box->button(QMessageBox::Ok)->text(), box->button(QMessageBox::Cancel)->text(),
                    box->defaultButton()->text(), box->text()};
            box->button(pressed)->click();
        });
        EXPECT_EQ(QtMessageBox(QStringLiteral("KORVEL")).confirm("仍要校准吗？"),
                  pressed == QMessageBox::Ok);
        EXPECT_EQ(seen, (QStringList{"确定", "取消", "取消", "仍要校准吗？"}));
    }
}

}  // namespace
}  // namespace korvel
