// korvel-cli: one measurement burst from the command line, on the program's own core. The
// same on every system; the composition roots beside this file supply the platform.

#include "app/cli_main.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "calibration/clock_correction.h"
#include "calibration/measure_command.h"
#include "calibration/offset_evaluation.h"
#include "common/text_forms.h"
#include "common/utf8_text.h"
#include "exchange/exchange.h"
#include "exchange/scratch_file.h"
#include "settings/config_file.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr const char* kUsage =
    "Usage: korvel-cli measure [SERVER] [--apply] [--port N] [--json]\n"
    "       korvel-cli --version\n"
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
    "  --apply     then step the system clock by the offset: on Linux through\n"
    "              systemd-timedated (polkit may ask for a password; on a terminal without a\n"
    "              desktop agent pkttyagent asks, when installed), without timedated only\n"
    "              with CAP_SYS_TIME. A refusal prints 校准失败, its reason on standard error.\n"
    "  --port N    send from local UDP port N (default: any free port).\n"
    "  --json      print one JSON object instead: server, port, offset, offsetWholeSec,\n"
    "              repliesCounted, repliesUsed, delayMin, delayMax and replies (offset,\n"
    "              delay and used of each, in evaluation order) when measured; message on\n"
    "              failure; exitCode always. Seconds have six decimals in every locale.\n"
    "  --version   show the version.\n"
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

constexpr const char* kVersion = "korvel-cli 1.00\n";
constexpr int kPortUnusable = 5;
constexpr int kNoScratchFile = 6;
constexpr int kCorrectionFailed = 4;
constexpr int kCorrectionUnknown = 7;
constexpr int kBadArguments = 64;

struct Options {
    std::optional<std::string> server;
    std::int32_t localPort = 0;
    bool apply = false;
    bool json = false;
};

// The argument that cannot be taken, named for the one-line complaint.
struct BadArgument {
    std::string what;
};

std::optional<int> portArgument(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const int port = std::stoi(text);
    return port <= 65535 ? std::optional<int>(port) : std::nullopt;
}

std::variant<Options, BadArgument> parseArguments(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return BadArgument{"missing command 'measure'"};
    }
    if (arguments[0] != "measure") {
        return BadArgument{"unknown command '" + arguments[0] + "'"};
    }
    Options options;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--apply") {
            options.apply = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--port") {
            if (i + 1 == arguments.size()) {
                return BadArgument{"option '--port' needs a port number"};
            }
            const auto port = portArgument(arguments[++i]);
            if (!port) {
                return BadArgument{"bad port '" + arguments[i] + "' (0 to 65535)"};
            }
            options.localPort = *port;
        } else if (argument.starts_with("-")) {
            return BadArgument{"unknown option '" + argument + "'"};
        } else if (options.server) {
            return BadArgument{"one server only, not also '" + argument + "'"};
        } else if (!isServerAddress(argument)) {
            return BadArgument{"bad server address '" + argument + "'"};
        } else {
            options.server = argument;
        }
    }
    return options;
}

std::string configuredServer(FileSystem& files) {
    const auto line = files.readFirstLine(configPathToRead(files));
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

// What a burst ended in, for the lines or the JSON object.
struct Result {
    std::string server;
    bool measured = false;
    std::string message;  // empty when all went well
    int status = 0;
};

std::string jsonText(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// The evaluation leaves records 1..n sorted; 2..n-4 are the ones it averaged.
bool usedByEvaluation(int record, int n) {
    return record >= 2 && record <= n - 4;
}

// Fastest and slowest delay of the averaged replies, as text.
std::pair<std::string, std::string> delayRange(const MainForm& form) {
    const auto first = form.replyRecords.begin() + 2;
    const auto last = form.replyRecords.begin() + (form.evaluatedReplies - 3);
    const auto [fastest, slowest] = std::minmax_element(
        first, last, [](const ReplyRecord& a, const ReplyRecord& b) { return a.delay < b.delay; });
    return {sixDecimals(fastest->delay), sixDecimals(slowest->delay)};
}

// The lines the tool always printed, or one JSON object.
std::string resultText(const MainForm& form, const Result& result, bool json) {
    const int n = form.evaluatedReplies;
    std::string out;
    if (!json) {
        if (result.measured) {
            const auto [fastest, slowest] = delayRange(form);
            out = "offset " + sixDecimals(form.offsetSec) + " s\nreplies used " +
                  std::to_string(n - 5) + " of " + std::to_string(n) + "\ndelay " + fastest +
                  " .. " + slowest + " s\n";
        }
        return result.message.empty() ? out : out + result.message + "\n";
    }
    out = "{\"server\":" + jsonText(result.server) + ",\"port\":123";
    if (result.measured) {
        const auto [fastest, slowest] = delayRange(form);
        out += ",\"offset\":" + sixDecimals(form.offsetSec) +
               ",\"offsetWholeSec\":" + std::to_string(std::lround(form.offsetWholeSec)) +
               ",\"repliesCounted\":" + std::to_string(n) +
               ",\"repliesUsed\":" + std::to_string(n - 5) + ",\"delayMin\":" + fastest +
               ",\"delayMax\":" + slowest + ",\"replies\":[";
        for (int i = 1; i <= n; ++i) {
            const ReplyRecord& r = form.replyRecords[static_cast<std::size_t>(i)];
            out += std::string(i > 1 ? "," : "") + "{\"offset\":" + sixDecimals(r.offset) +
                   ",\"delay\":" + sixDecimals(r.delay) +
                   ",\"used\":" + (usedByEvaluation(i, n) ? "true" : "false") + "}";
        }
        out += "]";
    }
    if (!result.message.empty()) {
        out += ",\"message\":" + jsonText(result.message);
    }
    return out + ",\"exitCode\":" + std::to_string(result.status) + "}\n";
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
    if (std::find(arguments.begin(), arguments.end(), "--version") != arguments.end()) {
        console.out(kVersion);
        return 0;
    }
    const auto parsed = parseArguments(arguments);
    if (const auto* bad = std::get_if<BadArgument>(&parsed)) {
        console.err("korvel-cli: " + bad->what + "\nTry 'korvel-cli --help'\n");
        return kBadArguments;
    }
    const Options& options = std::get<Options>(parsed);

    FileSystem& files = platform.files;
    ConsoleMessageBox messageBox(console);
    SilentBeeper beeper;
    SoleInstance instance;
    NoWindows windows;
    MainForm form(Platform{platform.systemClock, platform.localClock, platform.socket,
                           platform.timers, files, messageBox, beeper, instance, windows, windows,
                           platform.steadyClock, platform.random});
    attachExchange(form);

    Result result;
    result.server = options.server.value_or(configuredServer(files));
    // Ends before any burst: the message where the burst's would go.
    const auto endEarly = [&](std::string message, int status) {
        result.message = std::move(message);
        result.status = status;
        if (options.json) {
            console.out(resultText(form, result, true));
        } else {
            console.err(result.message + "\n");
        }
        return result.status;
    };
    // A scratch file of its own, so the tool can run beside the desktop program.
    if (std::string problem = openScratchFile(form.scratchFile, files, "XCV-CLI.TMP");
        !problem.empty()) {
        return endEarly(std::move(problem), kNoScratchFile);
    }
    if (!prepareSocket(form, result.server, options.localPort)) {
        return endEarly(portUnusableText(options.localPort), kPortUnusable);
    }

    bool burstOver = false;
    bool correcting = false;
    double measuredSec = 0.0;  // the correction consumes the offset; the report shows it
    const auto finishWhenSent = [&] {
        if (burstOver && !form.Timer1->isRunning()) {
            platform.quitEventLoop(result.status);
        }
    };
    const auto report = [&] {
        if (correcting) {
            // The clock has answered: the reason of a failure and any competing service.
            correcting = false;
            form.offsetSec = measuredSec;
            form.offsetWholeSec = roundToWholeSeconds(measuredSec);
            if (!form.Text3.toolTip().empty()) {
                console.err(form.Text3.toolTip() + "\n");
            }
            if (form.Text3.text() == kCorrectionFailedText) {
                result.message = kCorrectionFailedText;
                result.status = kCorrectionFailed;
            } else if (form.Text3.text() == kCorrectionUnknownText) {
                result.message = kCorrectionUnknownText;
                result.status = kCorrectionUnknown;
            }
        } else {
            result.measured = !form.Text3.text().empty();
            if (!result.measured) {
                if (!form.Text1.toolTip().empty()) {
                    console.err(form.Text1.toolTip() + "\n");
                }
                result.message = form.Text1.text();
                result.status = failureStatus(result.message);
            } else if (options.apply) {
                // The measure button comes back once the clock has answered.
                correcting = true;
                measuredSec = form.offsetSec;
                clockCorrection(form);
                return;
            }
        }
        burstOver = true;
        console.out(resultText(form, result, options.json));
        finishWhenSent();
    };
    // The measure button comes back when the burst is over, and again when the clock has
    // answered a correction; look once the handler is done.
    const auto afterHandler = platform.timers.createTimer(TimerPrecision::Coarse);
    afterHandler->setInterval(1);
    afterHandler->setTickHandler([&] {
        afterHandler->stop();
        report();
    });
    const Connection idleAgain = form.Command5.changed.connect([&] {
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
