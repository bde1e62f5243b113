#include "ui/qt/qt_user_feedback.h"

#include <QApplication>
#include <QMessageBox>

namespace korvel {

void QtMessageBox::show(const std::string& text) {
    // Modal over the window in front; its own event loop keeps the timers ticking.
    QMessageBox box(QMessageBox::NoIcon, m_title, QString::fromStdString(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void QtBeeper::beep() {
    QApplication::beep();
}

}  // namespace korvel
