#include "platform/qt/qt_user_feedback.h"

#include <QApplication>
#include <QMessageBox>
#include <QTranslator>

namespace korvel {

void QtMessageBox::show(const std::string& text) {
    // Modal over the window in front; its own event loop keeps the timers ticking.
    QMessageBox box(QMessageBox::NoIcon, m_title, QString::fromStdString(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

bool QtMessageBox::confirm(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, m_title, QString::fromStdString(text),
                    QMessageBox::Ok | QMessageBox::Cancel, QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

bool installChineseQtTexts(QTranslator& translator, const QString& folder) {
    return translator.load(QStringLiteral("qtbase_zh_CN"), folder) &&
           QCoreApplication::installTranslator(&translator);
}

void QtBeeper::beep() {
    QApplication::beep();
}

}  // namespace korvel
