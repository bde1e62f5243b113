// The footprint bench's baseline: the smallest Qt Widgets program with a window, built with
// the same compiler flags and Qt as the program.

#include <QApplication>
#include <QLabel>

#include "first_frame.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("baseline"));
    window.resize(400, 300);
    const korvel::bench::FirstFrame firstFrame(&window);
    window.show();
    return QApplication::exec();
}
