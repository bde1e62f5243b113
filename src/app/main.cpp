// korvel: the desktop program.

#include <QApplication>

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

namespace {

using namespace korvel;

// The window's timers and socket go with the window: nothing of it runs once it has been
// closed or the program is ending, even while a help viewer keeps the process alive.
void releaseWindow(MainForm& form) {
    for (Timer* timer : {form.Timer1.get(), form.Timer2.get(), form.Timer3.get(), form.Timer5.get(),
                         form.Timer6.get(), form.Timer7.get()}) {
        timer->stop();
    }
    form.platform.socket.close();
}

FormActions coreActions(MainForm& form) {
    return FormActions{
        .toolbarClick = [&form](int index) { toolbarClick(form, index); },
        .cheshiClick = [&form] { cheshiClick(form); },
        .xiaoshiClick = [&form] { xiaoshiClick(form); },
        .shezhiClick = [&form] { shezhiClick(form); },
        .guanyuClick = [&form] { guanyuClick(form); },
        .applySettings = [&form] { applySettings(form); },
        .cancelSettings = [&form] { cancelSettings(form); },
        .shutDown =
            [&form] {
                shutDown(form);
                releaseWindow(form);
            },
    };
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KORVEL"));
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
    program.setBeforeEnd([&form] { releaseWindow(form); });

    if (!startUp(form)) {
        return 0;
    }
    Form1 window(form, coreActions(form));
    windows.setOwner(&window);
    window.show();
    return QApplication::exec();
}
