// korvel: the desktop program.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/desktop_program.h"

namespace {

// What the manual page korvel(1) is made from; Qt takes its own options after these.
constexpr const char* kUsage =
    "Usage: korvel [QT-OPTION]...\n"
    "  or:  korvel --help | --version\n"
    "\n"
    "Shows the KORVEL window: the local clock, an SNTP server's clock and the offset between\n"
    "them, measured by a burst of 30 requests one every 100 ms. Within 34 seconds of a\n"
    "measurement the 校准 command (toolbar or menu) steps the system clock by the offset\n"
    "through systemd-timedated. The settings panel sets the server and the local port (kept\n"
    "in sntp.cfg), a calibration every 0.1 to 1.2 hours with an optional limit, and the\n"
    "time-sync log. One copy runs per program file.\n"
    "\n"
    "Options:\n"
    "  --help      show this text and end.\n"
    "  --version   show the version and end.\n"
    "\n"
    "Any other argument goes to the window toolkit (Qt): for example -platform xcb,\n"
    "-display :1 or -style fusion.\n"
    "\n"
    "Exit status: 0 when the window is closed or ended, and when another copy already runs\n"
    "(it says 此程序已经执行！ first).\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before any display is opened, so they work on a console.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("korvel " KORVEL_VERSION "\n", stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    korvel::DesktopProgram program;
    if (!program.start()) {
        return 0;
    }
    program.show();
    return QApplication::exec();
}
