// korvel: the desktop program.

#include <QApplication>

#include "app/desktop_program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    korvel::DesktopProgram program;
    if (!program.start()) {
        return 0;
    }
    program.window().show();
    return QApplication::exec();
}
