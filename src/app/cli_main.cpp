// korvel-cli: one measurement burst from the command line, on the program's own core. The
// same on every system; the composition roots beside this file supply the platform.

#include "app/cli_main.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <variant>

#include "app/keeper_run.h"
#include "calibration/outcome_display.h"
#include "common/text_forms.h"
#include "common/utf8_text.h"
#include "exchange/burst_engine.h"
#include "exchange/clock_step.h"
#include "exchange/exchange.h"
#include "exchange/scratch_file.h"
#include "settings/config_file.h"
#include "sntp/correction_policy.h"

namespace korvel {

namespace {

constexpr const char* kUsage =
    "Usage: korvel-cli measure [SERVER...] [--apply [--unattended [--state DIR]]\n"
    "                  [--agreed-offset SEC]] [--site-config] [--port N] [--nts-ca FILE]\n"
    "                  [--json]\n"
    "  or:  korvel-cli reset-keeping [--state DIR]\n"
    "  or:  korvel-cli time-service\n"
    "  or:  korvel-cli --version\n"
    "\n"
    "Runs one measurement burst against SNTP servers, exactly as the desktop program\n"
    "does: 30 requests 100 ms apart, evaluation at the 25th reply, once the replies stop\n"
    "with at least 10, or after 10 s with at least 10; trimmed mean of the fastest replies.\n"
    "With several servers the requests take turns, at most 8 to one server while another\n"
    "is asked, and only the servers whose times agree are averaged. A server that answers\n"
    "with a kiss-o'-death is asked nothing more: RATE for 64 s, DENY and RSTR for the run.\n"
    "\n"
    "  SERVER      up to four IPv4 or IPv6 addresses or host names (port 123), each also as\n"
    "              nts:HOST[:PORT] for authenticated time (NTS): a TLS 1.3 key exchange on\n"
    "              PORT (4460 by default; an IPv6 address in brackets), then only replies\n"
    "              that prove they come from the server count, never plain ones; where\n"
    "              any did, those servers alone decide which servers agree. A certificate\n"
    "              failing on its dates while the other servers put the local clock more\n"
    "              than a day off is checked again at their time (one more burst), said on\n"
    "              standard error; with NTS servers alone, only at the local time. Without\n"
    "              them the servers in sntp.cfg are used, else the built-in default "
    "203.107.6.88"
    ".\n"
    "  --apply     then step the system clock by the offset: on Linux through\n"
    "              systemd-timedated (polkit may ask for a password; on a terminal without a\n"
    "              desktop agent pkttyagent asks, when installed), without timedated only\n"
    "              with CAP_SYS_TIME. A refusal prints 校准失败, its reason on standard error.\n"
    "  --unattended  with --apply, for a correction nobody watches: step only when two or\n"
    "              more servers agreed (one server is never enough) and no other time service\n"
    "              keeps the clock; a process that holds the right to set the clock\n"
    "              (CAP_SYS_TIME) sets it itself. Without --json it reports on standard error\n"
    "              as one line, for the journal: the outcome (as --json names it), a colon,\n"
    "              then what it would print on separate lines, joined by '; '.\n"
    "              It never steps by more than 1000 s, except in the first run after the\n"
    "              system started and only when every server that answered agrees.\n"
    "  --state DIR  with --unattended, keep the clock between runs: remember the runs in\n"
    "              DIR (the service's state folder by default), set the clock's frequency and\n"
    "              slew offsets up to 0.5 s away instead of stepping (with CAP_SYS_TIME; on\n"
    "              Windows, where the folder is state in the site's folder, they are stepped).\n"
    "  --agreed-offset SEC  with --apply, the offset a user agreed to step by (what the\n"
    "              window passes to a run with the right to set the clock): step only when\n"
    "              this run measures within max(1 s, twice the spread of the offsets it\n"
    "              averaged) of SEC; else exit 14, the clock untouched, the two offsets on\n"
    "              standard error.\n"
    "  --site-config  read the site's sntp.cfg, never a user's own copy.\n"
    "  --port N    send from local UDP port N (default: any free port).\n"
    "  --nts-ca FILE  trust the PEM certificates in FILE for NTS servers besides the\n"
    "              system's store (a private server's own CA).\n"
    "  --json      print one JSON object instead: server, port, offset, offsetWholeSec,\n"
    "              likelyCause (timeZone, battery or null), repliesCounted, repliesUsed,\n"
    "              delayMin, delayMax and replies (offset,\n"
    "              delay, server and use of each, in evaluation order) when measured;\n"
    "              servers (address, requests, replies, kissOfDeath, authenticated,\n"
    "              ntsFailure, medianOffset, medianDelay, setAside, agreed or why not)\n"
    "              always; ntsDatesCheckedAtOffset (the offset from the local clock the\n"
    "              certificates' dates were checked at) when they were moved; message on\n"
    "              failure;\n"
    "              outcome and exitCode always. Seconds have six decimals in every locale;\n"
    "              a byte of a name that is not UTF-8 becomes U+FFFD.\n"
    "  reset-keeping  give the clock back: reset the frequency and any slew the keeper set\n"
    "              since the system started (run when the package is removed).\n"
    "  time-service  print the time service that keeps the clock, as --unattended looks\n"
    "              for it; nothing when none does (run when the package is installed).\n"
    "  --version   show the version.\n"
    "  --help      show this text.\n"
    "\n"
    "Prints the offset (server minus local, seconds, six decimals), the number of\n"
    "replies used and the range of their round-trip delays; for an offset of a whole number\n"
    "of quarter hours (1 to 15 h, within 2 s) the likely cause is a time zone or a hardware\n"
    "clock kept in local time, beyond 15 h a failing board battery. A server time before\n"
    "this version was made counts as flagged invalid.\n"
    "Exit status: 0 measured (and set), 1 无法连接服务器 (no reply, or the name not\n"
    "resolved), 2 网络阻塞,请稍候再试! (fewer than 10 replies), 3 服务器时间失效 (server\n"
    "flags its time invalid), 4 校准失败 (clock not set), 5 local port unusable, 6 no private\n"
    "folder for the scratch file (the cause is printed), 7 校准结果未知 (the time service's\n"
    "answer was lost; the clock may have been set), 8 refused by the server (kiss-o'-death),\n"
    "9 服务器之间时间不一致 (the servers disagree), 10 not stepped without a second server,\n"
    "11 not stepped while another time service keeps the clock, 12 not stepped: offset too\n"
    "large to step unasked, 13 consent refused, 14 not stepped: measured too far from\n"
    "--agreed-offset, 15 NTS failed (no server left, an NTS server's key exchange failing:\n"
    "refused, timed out, no ALPN, certificate dates, wrong name, untrusted), 64 bad\n"
    "arguments. Why no server was reached (name not resolved, network unreachable, no\n"
    "answer, NTS failed and why), server by server, goes to standard error.\n";

constexpr const char* kVersion = "korvel-cli " KORVEL_VERSION "\n";
constexpr int kBadArguments = 64;
constexpr int kWaitingNoticeMs = 3000;

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Evaluated:
            return "evaluated";
        case Outcome::RejectedInvalid:
            return "rejectedInvalid";
        case Outcome::NoReply:
            return "noReply";
        case Outcome::TooFewReplies:
            return "tooFewReplies";
        case Outcome::NameNotResolved:
            return "nameNotResolved";
        case Outcome::LocalPortUnusable:
            return "localPortUnusable";
        case Outcome::NoScratchFolder:
            return "noScratchFolder";
        case Outcome::RefusedByServer:
            return "refusedByServer";
        case Outcome::ServersDisagree:
            return "serversDisagree";
        case Outcome::NtsFailed:
            return "ntsFailed";
        case Outcome::Stepped:
            return "stepped";
        case Outcome::StepRefused:
            return "stepRefused";
        case Outcome::WithheldNoSecondOpinion:
            return "withheldNoSecondOpinion";
        case Outcome::WithheldOtherTimeService:
            return "withheldOtherTimeService";
        case Outcome::WithheldOffsetTooLarge:
            return "withheldOffsetTooLarge";
        case Outcome::ConsentRefused:
            return "consentRefused";
        case Outcome::StepUnknown:
            return "stepUnknown";
        case Outcome::WithheldOffsetChanged:
            return "withheldOffsetChanged";
    }
    return "";
}

struct Options {
    std::vector<std::string> servers;
    std::int32_t localPort = 0;
    bool apply = false;
    bool unattended = false;
    bool siteConfig = false;
    bool json = false;
    bool resetKeeping = false;
    std::string stateFolder;
    std::string ntsTrustFile;
    std::optional<double> agreedOffsetSec;
};

// What the arguments ask for besides a measurement.
enum class Request { Help, Version, TimeService };

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

// Seconds as --agreed-offset takes them: a finite decimal number, whatever the locale.
std::optional<double> secondsArgument(const std::string& text) {
    double seconds = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, seconds, std::chars_format::fixed);
    return error == std::errc() && stop == end && std::isfinite(seconds) ? std::optional(seconds)
                                                                         : std::nullopt;
}

std::variant<Options, Request, BadArgument> parseArguments(
    const std::vector<std::string>& arguments) {
    const auto given = [&](const char* a, const char* b = "") {
        return std::any_of(arguments.begin(), arguments.end(),
                           [&](const std::string& x) { return x == a || x == b; });
    };
    if (given("--help", "-h")) {
        return Request::Help;
    }
    if (given("--version")) {
        return Request::Version;
    }
    if (arguments.empty()) {
        return BadArgument{"missing command 'measure'"};
    }
    if (arguments[0] == "time-service") {
        return arguments.size() == 1
                   ? std::variant<Options, Request, BadArgument>(Request::TimeService)
                   : BadArgument{"time-service takes no arguments"};
    }
    if (arguments[0] != "measure" && arguments[0] != "reset-keeping") {
        return BadArgument{"unknown command '" + arguments[0] + "'"};
    }
    Options options;
    options.resetKeeping = arguments[0] == "reset-keeping";
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--state") {
            if (i + 1 == arguments.size()) {
                return BadArgument{"option '--state' needs a folder"};
            }
            options.stateFolder = arguments[++i];
        } else if (options.resetKeeping) {
            return BadArgument{"reset-keeping takes only '--state DIR'"};
        } else if (argument == "--apply") {
            options.apply = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--unattended") {
            options.unattended = true;
        } else if (argument == "--site-config") {
            options.siteConfig = true;
        } else if (argument == "--port") {
            if (i + 1 == arguments.size()) {
                return BadArgument{"option '--port' needs a port number"};
            }
            const auto port = portArgument(arguments[++i]);
            if (!port) {
                return BadArgument{"bad port '" + arguments[i] + "' (0 to 65535)"};
            }
            options.localPort = *port;
        } else if (argument == "--nts-ca") {
            if (i + 1 == arguments.size()) {
                return BadArgument{"option '--nts-ca' needs a file"};
            }
            options.ntsTrustFile = arguments[++i];
        } else if (argument == "--agreed-offset") {
            if (i + 1 == arguments.size()) {
                return BadArgument{"option '--agreed-offset' needs seconds"};
            }
            options.agreedOffsetSec = secondsArgument(arguments[++i]);
            if (!options.agreedOffsetSec) {
                return BadArgument{"bad offset '" + arguments[i] + "' (seconds, as 3.250000)"};
            }
        } else if (argument.starts_with("-")) {
            return BadArgument{"unknown option '" + argument + "'"};
        } else if (options.servers.size() == kMostServers) {
            return BadArgument{"four servers at most, not also '" + argument + "'"};
        } else if (const ParsedServerEntry entry = parseServerEntry(argument); !entry.entry) {
            return BadArgument{entry.fault};
        } else if (std::ranges::any_of(options.servers, [&argument](const std::string& before) {
                       return sameServerName(before, argument);
                   })) {
            return BadArgument{"repeated server '" + argument + "'"};
        } else {
            options.servers.push_back(argument);
        }
    }
    for (const auto& [used, name] : {std::pair{options.unattended, "--unattended"},
                                     {options.agreedOffsetSec.has_value(), "--agreed-offset"}}) {
        if (used && !options.apply) {
            return BadArgument{"option '" + std::string(name) + "' goes with '--apply'"};
        }
    }
    if (!options.stateFolder.empty() && !options.unattended && !options.resetKeeping) {
        return BadArgument{"option '--state' goes with '--unattended'"};
    }
    return options;
}

// The server set of sntp.cfg; a server it cannot use is said on standard error.
std::vector<std::string> configuredServers(FileSystem& files, Console& console, bool siteOnly) {
    const auto line = files.readFirstLine(siteOnly ? joinPath(files.siteFolder(), kConfigFileName)
                                                   : configPathToRead(files));
    if (line) {
        const ConfigFields fields = parseConfigLine(firstTextField(*line));
        for (const std::string& skipped : fields.skippedServers) {
            console.err(std::string(kConfigFileName) + ": skipped '" + skipped + "'\n");
        }
        const std::string address = trimBlanks(fields.addressField);
        if (!address.empty()) {
            std::vector<std::string> servers{address};
            servers.insert(servers.end(), fields.extraServers.begin(), fields.extraServers.end());
            return servers;
        }
    }
    return {kDefaultServerAddress};
}

// What a run ended in: how the burst ended, its result, and how a correction ended.
struct Report {
    std::vector<std::string> servers;
    OutcomeRecord burst;
    BurstResult result;
    ReplyRecords records{};
    ServerRotation rotation;
    std::vector<std::string> names;  // of the rotation's servers, as the texts give them
    std::optional<OutcomeRecord> correction;
    std::string keeping;  // what the keeper did, for the run's line
    // Where NTS certificates' dates were checked at the servers' time: their offset.
    std::optional<double> ntsDatesOffsetSec;

    const OutcomeRecord& last() const { return correction ? *correction : burst; }
    const std::string& nameOf(int server) const { return names[static_cast<std::size_t>(server)]; }
    bool measured() const { return burst.outcome == Outcome::Evaluated; }
};

// What a run says when the policy holds the step.
std::string holdText(CorrectionReason reason, const std::string& service, const Report& report,
                     const CorrectionInput& asked) {
    if (reason == CorrectionReason::OffsetChanged) {
        return "测得的时差 " + sixDecimals(report.result.offsetSec) + " 秒与同意校准的 " +
               sixDecimals(asked.agreedOffsetSec.value_or(0.0)) + " 秒相差超过 " +
               sixDecimals(asked.agreementToleranceSec) + " 秒，时钟没有校准。";
    }
    if (reason == CorrectionReason::OtherTimeService) {
        return "本机的时间服务 " + service + " 正在管理时钟，无人值守校准不与它争，" +
               "时钟没有校准。";
    }
    if (reason == CorrectionReason::OffsetTooLarge) {
        return "时差超过 1000 秒：无人值守校准只在开机后第一次校准、且应答的服务器都一致时，"
               "或经过认证的服务器也一致时才这样校准，时钟没有校准。";
    }
    if (reason == CorrectionReason::NtsFailed) {
        return "指定的 NTS 服务器都没有给出经过认证的时间，网络路径上可能有人拦截，"
               "无人值守校准不只凭未认证的服务器校准，时钟没有校准。";
    }
    return "无人值守校准需要两台或更多服务器的时间一致，时钟没有校准。";
}

// What an unattended run says, gathered into one line: nobody watches the run, and the journal
// keeps one entry per line.
class OneLineConsole final : public Console {
public:
    void out(const std::string& utf8) override { add(utf8); }
    void err(const std::string& utf8) override { add(utf8); }
    std::string line(Outcome outcome) const {
        return std::string(outcomeName(outcome)) + ": " + m_text + "\n";
    }

private:
    void add(const std::string& utf8) {
        std::istringstream lines(utf8);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty()) {
                m_text += (m_text.empty() ? "" : "; ") + line;
            }
        }
    }
    std::string m_text;
};

// Steps the clock as the policy decided and waits for the system's answer: a correction that
// keeps the tool waiting says so once, and one unanswered after five minutes is unknown.
class Correction {
public:
    explicit Correction(CliPlatform& platform) : m_platform(platform) {}

    void start(double offsetSec, const CorrectionDecision& how, std::string notice,
               std::function<void(OutcomeRecord)> done) {
        SystemClock& clock =
            how.via == StepVia::Direct ? m_platform.directClock : m_platform.systemClock;
        m_done = std::move(done);
        m_notice = std::move(notice);
        m_waiting = m_platform.timers.createTimer(TimerPrecision::Coarse);
        m_waiting->setInterval(kWaitingNoticeMs);
        m_waiting->setTickHandler([this] {
            m_waiting->stop();
            m_platform.console.err(
                "waiting for the time service's answer (it may be asking for a password)\n");
        });
        m_waiting->start();
        m_giveUp = m_platform.timers.createTimer(TimerPrecision::Coarse);
        m_giveUp->setInterval(kCorrectionWaitMs);
        m_giveUp->setTickHandler([this] { end({Outcome::StepUnknown, kNoAnswerYetReason, {}}); });
        m_giveUp->start();
        clock.stepClock(offsetSec, how.interactive, [this](ClockStepAnswer answer) {
            end({stepOutcome(answer.outcome), std::move(answer.reason), {}});
        });
    }

private:
    void end(OutcomeRecord record) {
        if (!m_done) {
            return;
        }
        m_waiting->stop();
        m_giveUp->stop();
        record.notice = m_notice;
        std::exchange(m_done, {})(std::move(record));
    }

    CliPlatform& m_platform;
    std::unique_ptr<Timer> m_waiting;
    std::unique_ptr<Timer> m_giveUp;
    std::string m_notice;
    std::function<void(OutcomeRecord)> m_done;
};

// Whether the server's replies were authenticated: named as NTS, it gave some.
bool authenticated(const Report& report, int server) {
    const ServerTally& tally = report.rotation.tally(server);
    const ParsedServerEntry parsed =
        parseServerEntry(report.servers[static_cast<std::size_t>(tally.entry)]);
    return parsed.entry && parsed.entry->nts && tally.replies > 0;
}

// Whether a server gave authenticated replies; agreeing: one in the agreeing group.
bool anyAuthenticated(const Report& report, bool agreeing) {
    for (int i = 0; i < report.rotation.size(); ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (authenticated(report, i) && (!agreeing || (at < report.result.servers.size() &&
                                                       report.result.servers[at].agreed))) {
            return true;
        }
    }
    return false;
}

// Asks the correction policy and steps when it allows; the report takes how the correction
// ended, and the event loop ends with it.
void correct(Report& report, const Options& options, Correction& correction, KeeperRun* keeper,
             CliPlatform& platform) {
    SystemClock& clock = platform.systemClock;
    const std::string service = clock.competingTimeService();
    const KeeperInput keeping =
        keeper != nullptr ? keeper->measurement(report.result, report.records) : KeeperInput{};
    const CorrectionInput asked{
        .run = options.unattended ? CorrectionRun::Unattended : CorrectionRun::ByHand,
        .offsetSec = report.result.offsetSec,
        .serversListed = static_cast<int>(report.servers.size()),
        .agreedServers = report.result.agreedServers,
        .holdsRightToStep = clock.holdsRightToStep(),
        .otherTimeService = !service.empty(),
        .firstRunAfterBoot = keeper != nullptr && keeper->firstRunAfterBoot(),
        .everyResponderAgrees = everyResponderAgrees(report.result),
        .agreedOffsetSec = options.agreedOffsetSec,
        .agreementToleranceSec = agreementToleranceSec(report.result, report.records),
        .keeper = keeper != nullptr ? &keeper->state() : nullptr,
        .keeping = keeping,
        .ntsServersNamed = static_cast<int>(
            std::ranges::count_if(report.servers,
                                  [](const std::string& s) {
                                      return parseServerEntry(s).entry.value_or(ServerEntry{}).nts;
                                  })),
        .anyAuthenticated = anyAuthenticated(report, false),
        // A certificate taken at the servers' time vouches for no large step: those servers
        // chose the time it was checked at.
        .authenticatedAgrees = !report.ntsDatesOffsetSec && anyAuthenticated(report, true)};
    const CorrectionDecision decision = decideCorrection(asked);
    if (decision.keeping) {
        report.correction = keeper->correct(keeping, *decision.keeping, platform.directClock);
        platform.quitEventLoop(0);
        return;
    }
    if (!decision.step) {
        if (keeper != nullptr) {
            keeper->recordHeld(keeping);
        }
        report.correction = OutcomeRecord{decision.withheld.value_or(Outcome::StepRefused),
                                          holdText(decision.reason, service, report, asked),
                                          {}};
        platform.quitEventLoop(0);
        return;
    }
    correction.start(report.result.offsetSec, decision,
                     service.empty() ? std::string() : competingServiceNotice(service),
                     [&report, &platform](OutcomeRecord record) {
                         report.correction = std::move(record);
                         platform.quitEventLoop(0);
                     });
}

// One burst on the program's engine, and a correction when asked for, measured and allowed by
// the correction policy.
Report runMeasurement(const Options& options, const std::string& stateFolder, CliPlatform& platform,
                      Console& console) {
    FileSystem& files = platform.files;
    Report report;
    // An unattended run with a state folder keeps the clock; it holds the state from here on,
    // so that a second run at the same time waits.
    std::unique_ptr<KeeperStateStore> store;
    std::optional<KeeperRun> keeper;
    if (options.unattended && !stateFolder.empty() && platform.adjustment != nullptr) {
        store = platform.openKeeperStore(stateFolder);
        keeper.emplace(*store, *platform.adjustment, platform.steadyClock);
        keeper->begin();
    }
    report.servers = options.servers.empty() ? configuredServers(files, console, options.siteConfig)
                                             : options.servers;
    // A scratch file of this process alone: another run at the same time has its own.
    ScratchFile scratchFile;
    const std::string scratchName = "XCV-CLI-" + std::to_string(platform.processId) + ".TMP";
    if (std::string problem = openScratchFile(scratchFile, files, scratchName); !problem.empty()) {
        report.burst = {Outcome::NoScratchFolder, std::move(problem), {}};
        return report;
    }
    if (!bindSocket(platform.socket, report.servers.front(), options.localPort)) {
        report.burst = {Outcome::LocalPortUnusable, portUnusableText(options.localPort), {}};
    } else {
        BurstEngine engine({platform.systemClock, platform.steadyClock, platform.socket,
                            platform.timers, files, platform.random, scratchFile,
                            platform.ntsKeyExchange, platform.sivCipher});
        engine.setNtsTrustFile(options.ntsTrustFile);
        if (keeper) {
            engine.setRequestLimit(keeper->requests());
        }
        Correction correction(platform);
        engine.setListener({.replyCounted = {}, .ended = [&](const BurstEnd& end) {
                                report.burst = end.outcome;
                                report.result = end.result;
                                report.records = end.records;
                                report.rotation = end.rotation;
                                report.names = end.servers;
                                report.ntsDatesOffsetSec = end.ntsDatesOffsetSec;
                                if (end.outcome.outcome == Outcome::Evaluated && options.apply) {
                                    correct(report, options, correction,
                                            keeper ? &*keeper : nullptr, platform);
                                    return;
                                }
                                platform.quitEventLoop(0);
                            }});
        engine.start(report.servers);
        platform.runEventLoop();
    }
    scratchFile.close();
    files.remove(joinPath(files.privateRuntimeFolder(), scratchName));
    report.keeping = keeper ? keeper->summary() : std::string();
    return report;
}

std::string jsonText(const std::string& text) {
    std::string quoted = "\"";
    // A name from a file in another encoding would make the whole object unreadable.
    for (const char c : wellFormedUtf8(text)) {
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

// The likely cause as a JSON value.
const char* causeJson(OffsetCause cause) {
    switch (cause) {
        case OffsetCause::TimeZone:
            return "\"timeZone\"";
        case OffsetCause::Battery:
            return "\"battery\"";
        case OffsetCause::None:
            break;
    }
    return "null";
}

const char* causeWords(OffsetCause cause) {
    switch (cause) {
        case OffsetCause::TimeZone:
            return "likely cause: a time zone or a hardware clock kept in local time\n";
        case OffsetCause::Battery:
            return "likely cause: a failing board battery\n";
        case OffsetCause::None:
            break;
    }
    return "";
}

const char* useName(ReplyUse use) {
    switch (use) {
        case ReplyUse::Used:
            return "used";
        case ReplyUse::ExtremeOffset:
            return "extreme";
        case ReplyUse::Slow:
            return "slow";
        case ReplyUse::Flagged:
            return "flagged";
        case ReplyUse::Inconsistent:
            return "setAside";
        case ReplyUse::OutsideGroup:
            return "outsideGroup";
    }
    return "";
}

// Why a server's replies were not averaged; empty when they were.
std::string whyNotAgreed(const Report& report, int server) {
    const ServerTally& tally = report.rotation.tally(server);
    const std::size_t i = static_cast<std::size_t>(server);
    const ServerSummary summary =
        i < report.result.servers.size() ? report.result.servers[i] : ServerSummary{};
    if (summary.agreed && report.measured()) {
        return {};
    }
    if (tally.status == ServerStatus::NotFound) {
        return "notFound";
    }
    if (tally.status == ServerStatus::Unreachable) {
        return "unreachable";
    }
    if (tally.status == ServerStatus::SameMachine) {
        return "sameMachine";
    }
    if (tally.replies == 0) {
        return tally.status == ServerStatus::KissOfDeath ? "kissOfDeath"
               : tally.status == ServerStatus::NtsFailed ? "ntsFailed"
               : tally.status == ServerStatus::Silent    ? "silent"
                                                         : "noReply";
    }
    if (report.result.counted == 0) {
        return "notEvaluated";
    }
    if (summary.usable < kFewestRepliesToAgree && report.rotation.size() > 1) {
        return "tooFewReplies";
    }
    const bool disagreed =
        report.burst.outcome == Outcome::ServersDisagree || (!summary.agreed && report.measured());
    return disagreed ? "disagrees" : "notEvaluated";
}

// Where a server was asked: its entry, or one of the addresses a name answered with that name;
// one found at another's address says whose.
std::string jsonAddress(const Report& report, int server) {
    const ServerTally& tally = report.rotation.tally(server);
    const std::string& entry = report.servers[static_cast<std::size_t>(tally.entry)];
    std::string out =
        report.rotation.serversOf(tally.entry) > 1
            ? "\"address\":" + jsonText(tally.address) + ",\"name\":" + jsonText(entry)
            : "\"address\":" + jsonText(entry);
    return tally.sameAs < 0 ? out : out + ",\"sameAs\":" + jsonText(report.nameOf(tally.sameAs));
}

std::string plainText(const Report& report) {
    std::string out;
    if (report.measured()) {
        const BurstResult& r = report.result;
        out = "offset " + sixDecimals(r.offsetSec) + " s\nreplies used " +
              std::to_string(r.usedCount()) + " of " + std::to_string(r.counted) + "\ndelay " +
              sixDecimals(r.fastestUsedDelay(report.records)) + " .. " +
              sixDecimals(r.slowestUsedDelay(report.records)) + " s\n" +
              causeWords(likelyCause(r.offsetSec));
    }
    if ((report.rotation.size() > 1 || anyAuthenticated(report, false)) &&
        report.result.counted > 0) {
        std::string agreed;
        std::string others;
        for (int i = 0; i < report.rotation.size(); ++i) {
            const int sameAs = report.rotation.tally(i).sameAs;
            const std::string why =
                sameAs >= 0 ? "same machine as " + report.nameOf(sameAs) : whyNotAgreed(report, i);
            std::string& list = why.empty() ? agreed : others;
            list += (list.empty() ? "" : ", ") + report.nameOf(i) +
                    (authenticated(report, i) ? kAuthenticatedMark : "") +
                    (why.empty() ? "" : " (" + why + ")");
        }
        out += (agreed.empty() ? "" : "agreed: " + agreed + "\n") +
               (others.empty() ? "" : "not used: " + others + "\n");
    }
    if (!report.keeping.empty()) {
        out += "keeper: " + report.keeping + "\n";
    }
    const std::string message = outcomeText(report.last().outcome);
    return message.empty() ? out : out + message + "\n";
}

std::string jsonObject(const Report& report) {
    const OutcomeRecord& last = report.last();
    std::string out = "{\"server\":" + jsonText(report.servers.front()) + ",\"port\":123";
    if (report.measured()) {
        const BurstResult& r = report.result;
        out += ",\"offset\":" + sixDecimals(r.offsetSec) +
               ",\"offsetWholeSec\":" + std::to_string(std::lround(r.offsetWholeSec)) +
               ",\"likelyCause\":" + causeJson(likelyCause(r.offsetSec)) +
               ",\"repliesCounted\":" + std::to_string(r.counted) +
               ",\"repliesUsed\":" + std::to_string(r.usedCount()) +
               ",\"delayMin\":" + sixDecimals(r.fastestUsedDelay(report.records)) +
               ",\"delayMax\":" + sixDecimals(r.slowestUsedDelay(report.records)) +
               ",\"replies\":[";
        for (int i = 1; i <= r.counted; ++i) {
            const ReplyRecord& record = report.records[static_cast<std::size_t>(i)];
            const bool used = r.uses[static_cast<std::size_t>(i - 1)] == ReplyUse::Used;
            out += std::string(i > 1 ? "," : "") + "{\"offset\":" + sixDecimals(record.offset) +
                   ",\"delay\":" + sixDecimals(record.delay) +
                   ",\"used\":" + (used ? "true" : "false") +
                   ",\"server\":" + std::to_string(record.server) +
                   ",\"use\":" + jsonText(useName(r.uses[static_cast<std::size_t>(i - 1)])) + "}";
        }
        out += "]";
    }
    if (report.rotation.size() > 0) {
        out += ",\"servers\":[";
        for (int i = 0; i < report.rotation.size(); ++i) {
            const ServerTally& tally = report.rotation.tally(i);
            const std::size_t at = static_cast<std::size_t>(i);
            const ServerSummary summary =
                at < report.result.servers.size() ? report.result.servers[at] : ServerSummary{};
            const std::string why = whyNotAgreed(report, i);
            const bool kissed = tally.status == ServerStatus::KissOfDeath;
            const bool ntsFailed = tally.status == ServerStatus::NtsFailed;
            out += std::string(i > 0 ? "," : "") + "{" + jsonAddress(report, i) +
                   ",\"requests\":" + std::to_string(tally.requests) +
                   ",\"replies\":" + std::to_string(tally.replies) +
                   ",\"kissOfDeath\":" + (kissed ? jsonText(tally.kissCode) : "null") +
                   ",\"authenticated\":" + (authenticated(report, i) ? "true" : "false") +
                   (ntsFailed ? ",\"ntsFailure\":" + jsonText(tally.kissCode) : "") +
                   ",\"setAside\":" + std::to_string(summary.setAside);
            if (summary.usable > 0) {
                out += ",\"medianOffset\":" + sixDecimals(summary.medianOffset) +
                       ",\"medianDelay\":" + sixDecimals(summary.medianDelay);
            }
            out += ",\"agreed\":" + std::string(why.empty() ? "true" : "false") +
                   (why.empty() ? "" : ",\"why\":" + jsonText(why)) + "}";
        }
        out += "]";
    }
    std::string message = outcomeText(last.outcome);
    if (last.outcome == Outcome::LocalPortUnusable || last.outcome == Outcome::NoScratchFolder) {
        message = last.cause;
    }
    if (!message.empty()) {
        out += ",\"message\":" + jsonText(message);
    }
    if (report.ntsDatesOffsetSec) {
        out += ",\"ntsDatesCheckedAtOffset\":" + sixDecimals(*report.ntsDatesOffsetSec);
    }
    return out + ",\"outcome\":" + jsonText(outcomeName(last.outcome)) +
           ",\"exitCode\":" + std::to_string(exitStatus(last.outcome)) +
           (report.keeping.empty() ? "" : ",\"keeper\":" + jsonText(report.keeping)) + "}\n";
}

void printReport(const Report& report, bool json, Console& console) {
    const OutcomeRecord& last = report.last();
    // Ended before any burst: the cause where the burst's message would go.
    if (last.outcome == Outcome::LocalPortUnusable || last.outcome == Outcome::NoScratchFolder) {
        json ? console.out(jsonObject(report)) : console.err(last.cause + "\n");
        return;
    }
    // The cause of a failure, and any notice, go to standard error first; an NTS server's
    // failure too where the burst went on without it.
    for (const std::string* line : {&last.cause, &last.notice}) {
        if (!line->empty()) {
            console.err(*line + "\n");
        }
    }
    if (report.ntsDatesOffsetSec) {
        console.err(ntsDatesText(*report.ntsDatesOffsetSec) + "\n");
    }
    for (int i = 0; i < report.rotation.size(); ++i) {
        const ServerTally& tally = report.rotation.tally(i);
        const std::string failure =
            tally.status == ServerStatus::NtsFailed
                ? ntsFailureText(report.servers[static_cast<std::size_t>(i)], tally.kissCode)
                : std::string();
        if (!failure.empty() && last.cause.find(failure) == std::string::npos) {
            console.err(failure + "\n");
        }
    }
    console.out(json ? jsonObject(report) : plainText(report));
}

// One line per unattended run where administrators look, in UTC.
void logUnattendedRun(CliPlatform& platform, std::string line) {
    const SystemTime now = platform.systemClock.getSystemTime();
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02uZ ", unsigned{now.year},
                  unsigned{now.month}, unsigned{now.day}, unsigned{now.hour}, unsigned{now.minute},
                  unsigned{now.second});
    while (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    FileError error = FileError::None;
    if (const auto log = platform.files.openAppend(platform.unattendedLogPath, error)) {
        log->appendLine(stamp + line);
    }
}

}  // namespace

int runCli(const std::vector<std::string>& arguments, CliPlatform& platform) {
    Console& console = platform.console;
    const auto parsed = parseArguments(arguments);
    if (const auto* request = std::get_if<Request>(&parsed)) {
        if (*request == Request::TimeService) {
            const std::string service = platform.systemClock.competingTimeService();
            console.out(service.empty() ? service : service + "\n");
        } else {
            console.out(*request == Request::Help ? kUsage : kVersion);
        }
        return 0;
    }
    if (const auto* bad = std::get_if<BadArgument>(&parsed)) {
        console.err("korvel-cli: " + bad->what + "\nTry 'korvel-cli --help'\n");
        return kBadArguments;
    }
    const Options& options = std::get<Options>(parsed);
    const std::string stateFolder =
        options.stateFolder.empty() ? platform.stateFolder : options.stateFolder;
    if (options.resetKeeping) {
        if (stateFolder.empty() || platform.adjustment == nullptr) {
            console.err("korvel-cli: no keeper on this system\n");
            return exitStatus(Outcome::StepRefused);
        }
        const std::string said =
            releaseClock(*platform.openKeeperStore(stateFolder), *platform.adjustment);
        console.out(said + "\n");
        return said.starts_with("not reset") ? exitStatus(Outcome::StepRefused) : 0;
    }
    OneLineConsole oneLine;
    Console& says = options.unattended && !options.json ? oneLine : console;
    const Report report = runMeasurement(options, stateFolder, platform, says);
    printReport(report, options.json, says);
    if (&says == &oneLine) {
        console.err(oneLine.line(report.last().outcome));
    }
    if (options.unattended && !platform.unattendedLogPath.empty()) {
        logUnattendedRun(platform,
                         options.json ? jsonObject(report) : oneLine.line(report.last().outcome));
    }
    return exitStatus(report.last().outcome);
}

}  // namespace korvel
