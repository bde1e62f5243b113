// korvel-cli.exe: the tool on Win32 files, Winsock and a message loop.

#include <windows.h>

#include "app/cli_main.h"
#include "platform/crypto/gcrypt_siv.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_clock_adjustment.h"
#include "platform/win32/win32_console.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_keeper_store.h"
#include "platform/win32/win32_message_window.h"
#include "platform/win32/win32_nts_key_exchange.h"
#include "platform/win32/win32_random.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_timers.h"
#include "platform/win32/win32_udp_socket.h"

int wmain(int argc, wchar_t** argv) {
    using namespace korvel;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(utf8Of(argv[i]));
    }
    Win32Clock clock;
    Win32FileSystem files(executableFolder(), localDataFolder(),
                          siteSettingsFolder(executableFolder()));
    MessageWindow window;
    Win32UdpSocket socket(window);
    Win32TimerService timers(window);
    Win32Console console;
    Win32Random random;
    Win32NtsKeyExchange ntsKeyExchange(window);
    GcryptSiv siv;
    // The scheduled correction keeps its state and status in the site's folder, which LOCAL
    // SERVICE may write; a folder named with --state holds both.
    Win32ClockAdjustment adjustment(loadTimeAdjustmentCalls());
    CliPlatform platform{
        clock,
        clock,
        clock,
        socket,
        timers,
        files,
        console,
        clock,
        random,
        static_cast<std::uint32_t>(GetCurrentProcessId()),
        runMessageLoop,
        quitMessageLoop,
        joinPath(files.siteFolder(), "log\\korvel-sync.log"),
        &adjustment,
        keeperStateFolder(files),
        [](const std::string& folder) { return std::make_unique<Win32KeeperStore>(folder); },
        &ntsKeyExchange,
        &siv};
    return runCli(arguments, platform);
}
