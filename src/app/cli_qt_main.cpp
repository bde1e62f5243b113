// korvel-cli on Linux: the tool on POSIX files and Qt's event loop, timers and socket.

#include <QCoreApplication>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/cli_main.h"
#include "platform/crypto/gcrypt_siv.h"
#include "platform/posix/linux_clock_adjustment.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_keeper_store.h"
#include "platform/qt/qt_nts_key_exchange.h"
#include "platform/qt/qt_paths.h"
#include "platform/qt/qt_timedate_clock.h"
#include "platform/qt/qt_timers.h"
#include "platform/qt/qt_udp_socket.h"

namespace {

class StandardStreams final : public korvel::Console {
public:
    void out(const std::string& utf8) override { write(stdout, utf8); }
    void err(const std::string& utf8) override { write(stderr, utf8); }

private:
    static void write(std::FILE* stream, const std::string& utf8) {
        std::fputs(utf8.c_str(), stream);
        std::fflush(stream);
    }
};

}  // namespace

int main(int argc, char** argv) {
    using namespace korvel;
    QCoreApplication app(argc, argv);
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments().mid(1)) {
        arguments.push_back(argument.toStdString());
    }
    PosixClock clock;
    QtTimedateClock timedate(clock);
    PosixFileSystem files(executableFolder(), privateRuntimeFolder());
    QtUdpSocket socket;
    QtTimerService timers;
    StandardStreams console;
    SystemRandom random;
    QtNtsKeyExchange ntsKeyExchange;
    GcryptSiv siv;
    // The service's folders: its state, and its runtime folder, which users may read, for the
    // status. A folder named with --state holds both.
    LinuxClockAdjustment adjustment;
    const std::string stateDirectory = qEnvironmentVariable("STATE_DIRECTORY").toStdString();
    const std::string runtimeDirectory = qEnvironmentVariable("RUNTIME_DIRECTORY").toStdString();
    CliPlatform platform{timedate,
                         clock,
                         clock,
                         socket,
                         timers,
                         files,
                         console,
                         clock,
                         random,
                         static_cast<std::uint32_t>(QCoreApplication::applicationPid()),
                         [] { return QCoreApplication::exec(); },
                         [](int status) { QCoreApplication::exit(status); },
                         {},
                         &adjustment,
                         stateDirectory,
                         [&](const std::string& folder) {
                             return std::make_unique<PosixKeeperStore>(
                                 folder, folder == stateDirectory ? runtimeDirectory : folder);
                         },
                         &ntsKeyExchange,
                         &siv};
    // On a terminal, --apply may need the user's consent there.
    const std::unique_ptr<QProcess> agent =
        std::find(arguments.begin(), arguments.end(), "--apply") != arguments.end()
            ? startPolkitTextAgent()
            : nullptr;
    const int status = runCli(arguments, platform);
    if (agent) {
        agent->terminate();
        agent->waitForFinished();
    }
    return status;
}
