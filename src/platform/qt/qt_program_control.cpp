#include "platform/qt/qt_program_control.h"

#include <QApplication>
#include <QWidget>

namespace korvel {

void QtProgramControl::endNow() {
    // Hidden, not closed: closing would run the main window's unload step.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        window->hide();
    }
    QCoreApplication::exit(0);
}

}  // namespace korvel
