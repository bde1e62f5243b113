// korvel.exe: the desktop program on Windows.

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/core_actions.h"
#include "platform/crypto/gcrypt_siv.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_elevation.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_instance_guard.h"
#include "platform/win32/win32_message_window.h"
#include "platform/win32/win32_nts_key_exchange.h"
#include "platform/win32/win32_random.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_session_start.h"
#include "platform/win32/win32_system_events.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_timers.h"
#include "platform/win32/win32_udp_socket.h"
#include "platform/win32/win32_user_feedback.h"
#include "settings/start_with_session.h"
#include "settings/window_tray.h"
#include "ui/form/burst_details.h"
#include "ui/win32/win32_drawing.h"
#include "ui/win32/win32_form1.h"
#include "ui/win32/win32_secondary_windows.h"
#include "ui/win32/win32_tray_icon.h"
#include "wiring/start_up.h"

namespace {

// The arguments after the program's name, as the C runtime would split them.
std::vector<std::string> commandLineArguments() {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; words != nullptr && i < count; ++i) {
        arguments.push_back(korvel::utf8Of(words[i]));
    }
    LocalFree(static_cast<HLOCAL>(words));
    return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    using namespace korvel;
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    MessageWindow messages;
    Win32Clock clock;
    Win32FileSystem files(executableFolder(), localDataFolder(),
                          siteSettingsFolder(executableFolder()));
    Win32UdpSocket socket(messages);
    Win32TimerService timers(messages);
    Win32MessageBox messageBox("KORVEL");
    Win32Beeper beeper;
    Win32InstanceGuard instanceGuard(executablePath());
    Win32Registry registry;
    Win32ProgramLauncher launcher;
    Win32SecondaryWindows windows({registry, files, launcher, messageBox});
    Win32ProgramControl program;
    Win32Random random;
    ShellProcessLauncher processes;
    Win32ElevatedCorrection elevation(clock, timers, processes,
                                      wideOf(executableFolder() + "\\korvel-cli.exe"));
    Win32SystemEvents systemEvents(messages);
    // The form's engine keeps NTS keys and cookies between bursts, in memory only.
    Win32NtsKeyExchange ntsKeyExchange(messages);
    GcryptSiv siv;
    MainForm form(Platform{clock, clock, socket, timers, files, messageBox, beeper, instanceGuard,
                           windows, program, clock, random, elevation, systemEvents,
                           &ntsKeyExchange, &siv});

    // Start-up centres the window on the screen it learns of here.
    form.Form1.setScreenWidthTwips(
        MulDiv(GetSystemMetrics(SM_CXSCREEN), 1440, static_cast<int>(screenDpi())));
    Win32SessionStart sessionStart(utf8Of(executablePath()));
    if (!startUp(form)) {
        Win32Form1::bringRunningCopyToFront();
        return 0;
    }
    applyStartOptions(form, parseWindowOptions(commandLineArguments()));
    showStartWithSession(form, sessionStart);
    BurstDetails burstDetails(form);
    Win32Form1 window(form, coreActions(form, sessionStart));
    windows.setOwner(window.handle());
    windows.setBurstDetails(burstDetails);
    processes.setOwner(window.handle());
    Win32TrayIcon tray(form, coreActions(form, sessionStart));
    showWindowAtStart(form);

    MSG message;
    while (!program.ended() && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!window.takeKeyboardMessage(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}
