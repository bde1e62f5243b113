// korvel-cli: one measurement burst from the command line, on the program's own core.

#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "calibration/clock_correction.h"
#include "calibration/measure_command.h"
#include "common/text_forms.h"
#include "common/utf8_text.h"
#include "exchange/exchange.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_paths.h"
#include "platform/qt/qt_timedate_clock.h"
#include "platform/qt/qt_timers.h"
#include "platform/qt/qt_udp_socket.h"
#include "settings/config_file.h"
#include "ui/form/main_form.h"

namespace {

using namespace korvel;

constexpr const char* kUsage =
    "Usage: korvel-cli measure [SERVER] [--apply] [--port N]\n"
    "\n"
    "Runs one measurement burst against an SNTP server, exactly as the desktop program\n"
    "does: 30 requests 100 ms apart, evaluation at the 25th reply or after 10 s with at\n"
    "least 10 replies, trimmed mean of the fastest replies.\n"
    "\n"
    "  SERVER      IPv4 or IPv6 address or host name of the server (port 123). Without it the\n"
    "              address in sntp.cfg beside this tool is used, else the built-in\n"
    "              default "
    "203.107.6.88"
    ".\n"
    "  --apply     then step the system clock by the offset, through systemd-timedated\n"
    "              (polkit may ask for a password; on a terminal without a desktop agent\n"
    "              pkttyagent asks, when installed). Without timedated only a process with\n"
    "              CAP_SYS_TIME may. A refusal prints 校准失败, its reason on standard error.\n"
    "  --port N    send from local UDP port N (default: any free port).\n"
    "  --help      show this text.\n"
    "\n"
    "Prints the offset (server minus local, seconds, six decimals), the number of\n"
    "replies used and the range of their round-trip delays.\n"
    "Exit status: 0 measured (and set), 1 无法连接服务器 (no reply), 2 网络阻塞,请稍候再试!\n"
    "(fewer than 10 replies), 3 服务器时间失效 (server flags its time invalid),\n"
    "4 校准失败 (clock not set), 5 local port unusable, 6 no private folder for the scratch\n"
    "file (the cause is printed), 7 校准结果未知 (the time service's answer was lost; the\n"
    "clock may have been set), 64 bad arguments. Why no server was reached (name not\n"
    "resolved, network unreachable) goes to standard error.\n";

struct Options {
    std::optional<std::string> server;
    std::int32_t localPort = 0;
    bool apply = false;
};

std::optional<Options> parseArguments(const QStringList& arguments) {
    if (arguments.size() < 2 || arguments.at(1) != "measure") {
        return std::nullopt;
    }
    Options options;
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == "--apply") {
            options.apply = true;
        } else if (argument == "--port" && i + 1 < arguments.size()) {
            bool ok = false;
            const int port = arguments.at(++i).toInt(&ok);
            if (!ok || port < 0 || port > 65535) {
                return std::nullopt;
            }
            options.localPort = port;
        } else if (!argument.startsWith("-") && !options.server) {
            options.server = argument.toStdString();
        } else {
            return std::nullopt;
        }
    }
    return options;
}

std::string configuredServer(FileSystem& files) {
    const auto line = files.readFirstLine(joinPath(files.programFolder(), kConfigFileName));
    if (line) {
        const std::string address = trimBlanks(parseConfigLine(firstTextField(*line)).addressField);
        if (!address.empty()) {
            return address;
        }
    }
    return kDefaultServerAddress;
}

class NoMessageBox final : public MessageBox {
public:
    void show(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

class SilentBeeper final : public Beeper {
public:
    void beep() override {}
};

class SoleInstance final : public InstanceGuard {
public:
    bool anotherCopyRunning() override { return false; }
};

// The tool opens no other window and never ends itself from inside a handler.
class NoWindows final : public SecondaryWindows, public ProgramControl {
public:
    void showAboutBox() override {}
    void openHelpViewer(const std::string&) override {}
    void endNow() override {}
};

void printEvaluation(const MainForm& form) {
    const int n = form.evaluatedReplies;
    const auto first = form.replyRecords.begin() + 2;
    const auto last = form.replyRecords.begin() + (n - 3);
    const auto [fastest, slowest] = std::minmax_element(
        first, last, [](const ReplyRecord& a, const ReplyRecord& b) { return a.delay < b.delay; });
    std::printf("offset %s s\n", sixDecimals(form.offsetSec).c_str());
    std::printf("replies used %d of %d\n", n - 5, n);
    std::printf("delay %s .. %s s\n", sixDecimals(fastest->delay).c_str(),
                sixDecimals(slowest->delay).c_str());
}

int failureStatus(const std::string& message) {
    if (message == "无法连接服务器") {
        return 1;
    }
    if (message == "网络阻塞,请稍候再试!") {
        return 2;
    }
    return 3;
}

// After a correction: the reason of a failure and the competing-service notice on standard
// error, the outcome on standard output and as the exit status.
int reportCorrection(const MainForm& form) {
    if (!form.Text3.toolTip().empty()) {
        std::fprintf(stderr, "%s\n", form.Text3.toolTip().c_str());
    }
    int status = 0;
    if (form.Text3.text() == kCorrectionFailedText) {
        status = 4;
    } else if (form.Text3.text() == kCorrectionUnknownText) {
        status = 7;
    }
    if (status != 0) {
        std::printf("%s\n", form.Text3.text().c_str());
    }
    std::fflush(stdout);
    return status;
}

// polkit's text agent for this process when it runs on a terminal; with --fallback it
// stands aside for an agent the desktop already registered.
std::unique_ptr<QProcess> startTextAgent() {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("pkttyagent"));
    if (program.isEmpty() || ::isatty(STDIN_FILENO) == 0) {
        return nullptr;
    }
    auto agent = std::make_unique<QProcess>();
    agent->setProcessChannelMode(QProcess::ForwardedChannels);
    agent->setInputChannelMode(QProcess::ForwardedInputChannel);
    agent->start(program,
                 {QStringLiteral("--process"), QString::number(QCoreApplication::applicationPid()),
                  QStringLiteral("--fallback")});
    return agent;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains("--help") || arguments.contains("-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto options = parseArguments(arguments);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 64;
    }

    PosixClock clock;
    QtTimedateClock timedate(clock);
    PosixFileSystem files(executableFolder(), privateRuntimeFolder());
    QtUdpSocket socket;
    QtTimerService timers;
    NoMessageBox messageBox;
    SilentBeeper beeper;
    SoleInstance instance;
    NoWindows windows;
    SystemRandom random;
    MainForm form(Platform{timedate, clock, socket, timers, files, messageBox, beeper, instance,
                           windows, windows, clock, random});
    attachExchange(form);

    // A scratch file of its own, so the tool can run beside the desktop program.
    if (const std::string problem = openScratchFile(form.scratchFile, files, "XCV-CLI.TMP");
        !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 6;
    }
    const std::string server = options->server.value_or(configuredServer(files));
    if (!prepareSocket(form, server, options->localPort)) {
        std::fprintf(stderr, "本机端口 %d 无法使用\n", options->localPort);
        return 5;
    }

    const std::unique_ptr<QProcess> agent = options->apply ? startTextAgent() : nullptr;
    int status = 0;
    enum class Stage { Measuring, Correcting, Done } stage = Stage::Measuring;
    const auto finishWhenSent = [&] {
        if (stage == Stage::Done && !form.Timer1->isRunning()) {
            app.exit(status);
        }
    };
    // The measure button comes back when the burst is over, and again when the clock has
    // answered a correction; look once the handler is done.
    form.Command5.changed.connect([&] {
        if (!form.Command5.isEnabled() || stage == Stage::Done) {
            return;
        }
        QTimer::singleShot(0, [&] {
            if (stage == Stage::Correcting) {
                status = reportCorrection(form);
                stage = Stage::Done;
                finishWhenSent();
                return;
            }
            stage = Stage::Done;
            if (form.Text3.text().empty()) {
                if (!form.Text1.toolTip().empty()) {
                    std::fprintf(stderr, "%s\n", form.Text1.toolTip().c_str());
                }
                std::printf("%s\n", form.Text1.text().c_str());
                status = failureStatus(form.Text1.text());
            } else {
                printEvaluation(form);
                if (options->apply) {
                    stage = Stage::Correcting;
                    clockCorrection(form);
                }
            }
            std::fflush(stdout);
            finishWhenSent();
        });
    });
    // The requests go out, as in the program, until the burst is over.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, finishWhenSent);
    poll.start(20);

    measureCommand(form);
    const int result = QCoreApplication::exec();
    if (agent) {
        agent->terminate();
        agent->waitForFinished();
    }
    return result;
}
