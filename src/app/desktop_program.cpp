#include "app/desktop_program.h"

#include <QApplication>
#include <QScreen>
#include <cstdlib>

#include "app/core_actions.h"
#include "platform/qt/qt_paths.h"
#include "settings/start_with_session.h"
#include "settings/window_tray.h"
#include "ui/qt/pictures.h"
#include "ui/qt/twips.h"
#include "wiring/start_up.h"

namespace korvel {

DesktopProgram::DesktopProgram()
    : m_runtimeFolder(privateRuntimeFolder()),
      m_files(executableFolder(), m_runtimeFolder),
      m_messageBox(QStringLiteral("KORVEL")),
      m_instanceGuard(QString::fromStdString(m_runtimeFolder.path),
                      QCoreApplication::applicationFilePath()),
      m_registry(SysInfoRegistry::foldersOfPath(std::getenv("PATH"))),
      m_windows(m_timers, {m_registry, m_files, m_launcher, m_messageBox}),
      m_sessionStart(m_files, QCoreApplication::applicationFilePath().toStdString()),
      m_form(Platform{m_timedate, m_clock, m_socket, m_timers, m_files, m_messageBox, m_beeper,
                      m_instanceGuard, m_windows, m_program, m_clock, m_random, m_elevation,
                      m_systemEvents}) {
    QApplication::setApplicationName(QStringLiteral("KORVEL"));
    // Lets Wayland and the task bar match the window to the installed desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.korvel"));
    QApplication::setWindowIcon(applicationIcon());
    installChineseQtTexts(m_qtTexts);
}

bool DesktopProgram::start(const std::vector<std::string>& arguments) {
    // Start-up centres the window on the screen it learns of here.
    m_form.Form1.setScreenWidthTwips(QGuiApplication::primaryScreen()->geometry().width() *
                                     kTwipsPerPixel);
    if (!startUp(m_form)) {
        m_instanceGuard.askRunningCopyToFront();
        return false;
    }
    applyStartOptions(m_form, parseWindowOptions(arguments));
    showStartWithSession(m_form, m_sessionStart);
    m_window = std::make_unique<Form1>(m_form, coreActions(m_form, m_sessionStart));
    m_windows.setOwner(m_window.get());
    m_instanceGuard.listenForFront([this] { openWindow(m_form); });
    m_windows.setBurstDetails(m_burstDetails);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = std::make_unique<TrayIcon>(m_form, coreActions(m_form, m_sessionStart));
    }
    return true;
}

void DesktopProgram::show() {
    showWindowAtStart(m_form);
}

}  // namespace korvel
