#pragma once

#include <QTranslator>
#include <memory>
#include <string>
#include <vector>

#include "platform/crypto/gcrypt_siv.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/sysinfo_registry.h"
#include "platform/posix/xdg_session_start.h"
#include "platform/qt/qt_instance_guard.h"
#include "platform/qt/qt_nts_key_exchange.h"
#include "platform/qt/qt_program_control.h"
#include "platform/qt/qt_program_launcher.h"
#include "platform/qt/qt_system_events.h"
#include "platform/qt/qt_timedate_clock.h"
#include "platform/qt/qt_timers.h"
#include "platform/qt/qt_udp_socket.h"
#include "platform/qt/qt_user_feedback.h"
#include "ui/form/burst_details.h"
#include "ui/form/main_form.h"
#include "ui/qt/form1.h"
#include "ui/qt/secondary_windows.h"
#include "ui/qt/tray_icon.h"

namespace korvel {

// The desktop program's parts on the real platform, composed in one place so that the
// footprint bench measures the same program users run. Needs a QApplication.
class DesktopProgram {
public:
    DesktopProgram();

    // Start-up with the window's command-line options (those after the program's name that
    // the toolkit left), then the window (not yet shown) and, where the system has a tray, its
    // icon. False when the program must end at once, as a second copy does.
    bool start(const std::vector<std::string>& arguments = {});
    // Shows the window, or leaves it in the tray as the user chose.
    void show();

    MainForm& form() { return m_form; }
    Form1& window() { return *m_window; }

private:
    QTranslator m_qtTexts;
    const RuntimeFolder m_runtimeFolder;
    PosixClock m_clock;
    QtTimedateClock m_timedate{m_clock};
    SystemRandom m_random;
    NoElevatedCorrection m_elevation;  // polkit asks for consent through timedated
    PosixFileSystem m_files;
    QtUdpSocket m_socket;
    QtTimerService m_timers;
    QtMessageBox m_messageBox;
    QtBeeper m_beeper;
    QtInstanceGuard m_instanceGuard;
    SysInfoRegistry m_registry;
    QtProgramLauncher m_launcher;
    QtSecondaryWindows m_windows;
    QtProgramControl m_program;
    XdgSessionStart m_sessionStart;
    QtSystemEvents m_systemEvents;
    QtNtsKeyExchange m_ntsKeyExchange;
    GcryptSiv m_siv;
    MainForm m_form;
    BurstDetails m_burstDetails{m_form};
    std::unique_ptr<Form1> m_window;
    std::unique_ptr<TrayIcon> m_tray;
};

}  // namespace korvel
