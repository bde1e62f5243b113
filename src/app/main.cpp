// korvel: the desktop program.

#include <QApplication>
#include <QScreen>

#include "calibration/command_dispatch.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_instance_guard.h"
#include "platform/qt/qt_paths.h"
#include "platform/qt/qt_timers.h"
#include "platform/qt/qt_udp_socket.h"
#include "settings/lifecycle.h"
#include "settings/settings_panel.h"
#include "ui/form/main_form.h"
#include "ui/qt/form1.h"
#include "ui/qt/pictures.h"
#include "ui/qt/qt_program_control.h"
#include "ui/qt/qt_user_feedback.h"
#include "ui/qt/secondary_windows.h"
#include "ui/qt/twips.h"

namespace {

using namespace korvel;

FormActions coreActions(MainForm& form) {
    return FormActions{
        .toolbarClick = [&form](int index) { toolbarClick(form, index); },
        .cheshiClick = [&form] { cheshiClick(form); },
        .xiaoshiClick = [&form] { xiaoshiClick(form); },
        .shezhiClick = [&form] { shezhiClick(form); },
        .guanyuClick = [&form] { guanyuClick(form); },
        .applySettings = [&form] { applySettings(form); },
        .cancelSettings = [&form] { cancelSettings(form); },
        .shutDown = [&form] { shutDown(form); },
    };
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KORVEL"));
    // Lets Wayland and the task bar match the window to the installed desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.korvel"));
    QApplication::setWindowIcon(applicationIcon());

    const std::string runtimeFolder = privateRuntimeFolder();
    PosixClock clock;
    PosixFileSystem files(executableFolder(), runtimeFolder);
    QtUdpSocket socket;
    QtTimerService timers;
    QtMessageBox messageBox(QStringLiteral("KORVEL"));
    QtBeeper beeper;
    QtInstanceGuard instanceGuard(QString::fromStdString(runtimeFolder),
                                  QCoreApplication::applicationFilePath());
    QtSecondaryWindows windows;
    QtProgramControl program;
    MainForm form(Platform{clock, clock, socket, timers, files, messageBox, beeper, instanceGuard,
                           windows, program});

    // Start-up centres the window on the screen it learns of here.
    form.Form1.setScreenWidthTwips(QGuiApplication::primaryScreen()->geometry().width() *
                                   kTwipsPerPixel);
    if (!startUp(form)) {
        return 0;
    }
    Form1 window(form, coreActions(form));
    windows.setOwner(&window);
    window.show();
    return QApplication::exec();
}
