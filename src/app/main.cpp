// korvel: the desktop program.

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/desktop_program.h"

namespace {

// What the manual page korvel(1) is made from; Qt takes its own options after these.
constexpr const char* kUsage =
    "Usage: korvel [OPTION]... [QT-OPTION]...\n"
    "  or:  korvel --help | --version\n"
    "\n"
    "Shows the KORVEL window: the local clock, an SNTP server's clock and the offset between\n"
    "them, measured by a burst of 30 requests one every 100 ms. Within 34 seconds of a\n"
    "measurement the 校准 command (toolbar or menu) steps the system clock by the offset\n"
    "through systemd-timedated. The settings panel sets the server and the local port (kept\n"
    "in sntp.cfg), a calibration every 0.1 to 1.2 hours with an optional limit, and the\n"
    "time-sync log. One copy runs per program file.\n"
    "\n"
    "Options (each applied at start as the settings panel's 确定 would; a bad value is\n"
    "shown in a message box and leaves its setting off):\n"
    "  --auto-sync TENTHS  calibrate every TENTHS tenths of an hour (1 to 12).\n"
    "  --limit MS          with --auto-sync: leave offsets above MS milliseconds (1 to 9999).\n"
    "  --log PATH          keep the time-sync log in PATH.\n"
    "  --tray              tick 关闭时留在托盘 (closing leaves the program in the tray).\n"
    "  --help              show this text and end.\n"
    "  --version           show the version and end.\n"
    "Each option may also be written --option=VALUE. 选项 > 登录时启动 starts the program\n"
    "with the session, with these options for the settings in effect.\n"
    "\n"
    "The window toolkit (Qt) takes its own options first: for example -platform xcb,\n"
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
    // What Qt left of the arguments.
    if (!program.start(std::vector<std::string>(argv + 1, argv + argc))) {
        return 0;
    }
    program.window().show();
    return QApplication::exec();
}
