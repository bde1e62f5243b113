// korvel-cli: one measurement burst from the command line, on the program's own core. The
// same on every system; the composition roots beside this file supply the platform.

#include "app/cli_main.h"

#include <algorithm>
#include <optional>
#include <string>

#include "calibration/clock_correction.h"
#include "calibration/measure_command.h"
#include "common/text_forms.h"
#include "common/utf8_text.h"
#include "exchange/exchange.h"
#include "settings/config_file.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

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
    "  --apply     set the system clock to the server's time afterwards; needs the right\n"
    "              to set the clock (root or CAP_SYS_TIME), otherwise prints 校准失败.\n"
    "  --port N    send from local UDP port N (default: any free port).\n"
    "  --help      show this text.\n"
    "\n"
    "Prints the offset (server minus local, seconds, six decimals), the number of\n"
    "replies used and the range of their round-trip delays.\n"
    "Exit status: 0 measured (and set), 1 无法连接服务器 (no reply), 2 网络阻塞,请稍候再试!\n"
    "(fewer than 10 replies), 3 服务器时间失效 (server flags its time invalid),\n"
    "4 校准失败 (clock not set), 5 local port unusable, 6 no private folder for the scratch\n"
    "file (the cause is printed), 64 bad arguments. Why no server was reached (name not\n"
    "resolved, network unreachable) goes to standard error.\n";

struct Options {
    std::optional<std::string> server;
    std::int32_t localPort = 0;
    bool apply = false;
};

std::optional<int> portNumber(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const int port = std::stoi(text);
    return port <= 65535 ? std::optional<int>(port) : std::nullopt;
}

std::optional<Options> parseArguments(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments[0] != "measure") {
        return std::nullopt;
    }
    Options options;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--apply") {
            options.apply = true;
        } else if (argument == "--port" && i + 1 < arguments.size()) {
            const auto port = portNumber(arguments[++i]);
            if (!port) {
                return std::nullopt;
            }
            options.localPort = *port;
        } else if (!argument.starts_with("-") && !options.server) {
            options.server = argument;
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

class ConsoleMessageBox final : public MessageBox {
public:
    explicit ConsoleMessageBox(Console& console) : m_console(console) {}
    void show(const std::string& text) override { m_console.err(text + "\n"); }

private:
    Console& m_console;
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

void printEvaluation(const MainForm& form, Console& console) {
    const int n = form.evaluatedReplies;
    const auto first = form.replyRecords.begin() + 2;
    const auto last = form.replyRecords.begin() + (n - 3);
    const auto [fastest, slowest] = std::minmax_element(
        first, last, [](const ReplyRecord& a, const ReplyRecord& b) { return a.delay < b.delay; });
    console.out("offset " + sixDecimals(form.offsetSec) + " s\n" + "replies used " +
                std::to_string(n - 5) + " of " + std::to_string(n) + "\n" + "delay " +
                sixDecimals(fastest->delay) + " .. " + sixDecimals(slowest->delay) + " s\n");
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

}  // namespace

int runCli(const std::vector<std::string>& arguments, CliPlatform& platform) {
    Console& console = platform.console;
    if (std::find(arguments.begin(), arguments.end(), "--help") != arguments.end() ||
        std::find(arguments.begin(), arguments.end(), "-h") != arguments.end()) {
        console.out(kUsage);
        return 0;
    }
    const auto options = parseArguments(arguments);
    if (!options) {
        console.err(kUsage);
        return 64;
    }

    FileSystem& files = platform.files;
    ConsoleMessageBox messageBox(console);
    SilentBeeper beeper;
    SoleInstance instance;
    NoWindows windows;
    MainForm form(Platform{platform.systemClock, platform.localClock, platform.socket,
                           platform.timers, files, messageBox, beeper, instance, windows, windows,
                           platform.steadyClock, platform.random});
    attachExchange(form);

    // A scratch file of its own, so the tool can run beside the desktop program.
    if (const std::string problem = openScratchFile(form.scratchFile, files, "XCV-CLI.TMP");
        !problem.empty()) {
        console.err(problem + "\n");
        return 6;
    }
    const std::string server = options->server.value_or(configuredServer(files));
    if (!prepareSocket(form, server, options->localPort)) {
        console.err("本机端口 " + std::to_string(options->localPort) + " 无法使用\n");
        return 5;
    }

    int status = 0;
    bool burstOver = false;
    const auto finishWhenSent = [&] {
        if (burstOver && !form.Timer1->isRunning()) {
            platform.quitEventLoop(status);
        }
    };
    const auto report = [&] {
        burstOver = true;
        if (form.Text3.text().empty()) {
            if (!form.Text1.toolTip().empty()) {
                console.err(form.Text1.toolTip() + "\n");
            }
            console.out(form.Text1.text() + "\n");
            status = failureStatus(form.Text1.text());
        } else {
            printEvaluation(form, console);
            if (options->apply) {
                clockCorrection(form);
                if (!form.Text3.toolTip().empty()) {
                    console.err(form.Text3.toolTip() + "\n");
                }
                if (form.Text3.text() == "校准失败") {
                    console.out("校准失败\n");
                    status = 4;
                }
            }
        }
        finishWhenSent();
    };
    // The measure button comes back when the burst is over; look once the handler is done.
    const auto afterHandler = platform.timers.createTimer(TimerPrecision::Coarse);
    afterHandler->setInterval(1);
    afterHandler->setTickHandler([&] {
        afterHandler->stop();
        report();
    });
    form.Command5.changed.connect([&] {
        if (form.Command5.isEnabled()) {
            afterHandler->start();
        }
    });
    // The requests go out, as in the program, until the burst is over.
    const auto poll = platform.timers.createTimer(TimerPrecision::Coarse);
    poll->setInterval(20);
    poll->setTickHandler(finishWhenSent);
    poll->start();

    measureCommand(form);
    return platform.runEventLoop();
}

}  // namespace korvel
