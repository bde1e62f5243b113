#include "app/cli_main.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "sntp/keeper.h"
#include "support/fake_files.h"
#include "support/fake_keeping.h"
#include "support/fake_network.h"
#include "support/virtual_time.h"

namespace korvel::test {
namespace {

using testing::HasSubstr;

struct CapturedConsole final : Console {
    void out(const std::string& utf8) override { stdOut += utf8; }
    void err(const std::string& utf8) override { stdErr += utf8; }
    std::string stdOut, stdErr;
};

// The clock as this process sets it itself: records the steps.
struct OwnClock final : SystemClock {
    explicit OwnClock(VirtualTime& virtualTime) : time(virtualTime) {}
    SystemTime getSystemTime() override { return time.getSystemTime(); }
    void stepClock(double offsetSec, bool, std::function<void(ClockStepAnswer)> done) override {
        steps.push_back(offsetSec);
        done({});
    }
    bool holdsRightToStep() override { return true; }
    std::string competingTimeService() override { return {}; }
    VirtualTime& time;
    std::vector<double> steps;
};

// The keeper's store as the rig keeps it, for every run.
struct StoreOf final : KeeperStateStore {
    explicit StoreOf(FakeKeeperStore& kept) : store(kept) {}
    std::string bootId() override { return store.bootId(); }
    std::string hold() override { return store.hold(); }
    std::optional<std::string> read(std::string& problem) override { return store.read(problem); }
    std::string write(const std::string& text) override { return store.write(text); }
    std::string writeStatus(const std::string& text) override { return store.writeStatus(text); }
    FakeKeeperStore& store;
};

// korvel-cli on the fake platform: its event loop lets virtual time pass until it quits.
struct CliRig {
    explicit CliRig(const std::function<void(CliRig&)>& setUp = nullptr) {
        files.textFiles[files.programFolderPath + "/sntp.cfg"] = {"SNTP 192.0.2.1       1231"};
        for (FakeSntpServer& each : servers) {
            each.offsetMs = 2250;
        }
        if (setUp) {
            setUp(*this);
        }
    }

    int run(const std::string& arguments) {
        std::istringstream split(arguments);
        const std::vector<std::string> words{std::istream_iterator<std::string>(split), {}};
        bool quit = false;
        const auto loop = [&] {
            for (int ms = 0; !quit && ms < 600'000; ms += 10) {
                time.advance(10);
            }
            return 0;
        };
        CliPlatform platform{
            time,    direct,
            time,    socket,
            time,    files,
            console, time,
            time,    4242,
            loop,    [&](int) { quit = true; },
            kRunLog, &adjustment,
            {},      [&](const std::string&) {
                                 return std::make_unique<StoreOf>(store); }};
        return runCli(words, platform);
    }

    static constexpr const char* kRunLog = "/opt/korvel/sync.log";
    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 8 * 60};
    OwnClock direct{time};
    FakeUdpSocket socket{time};
    std::array<FakeSntpServer, 4> servers{{{time, socket},
                                           {time, socket, "192.0.2.2"},
                                           {time, socket, "192.0.2.3"},
                                           {time, socket, "192.0.2.4"}}};
    FakeSntpServer& server = servers[0];
    FakeFileSystem files;
    CapturedConsole console;
    FakeClockAdjustment adjustment;
    FakeKeeperStore store;
};

// A kiss-o'-death of this code from the server's request number `from` on.
void kiss(FakeSntpServer& server, const char* code, int from) {
    server.tamper = [code, from](int request, std::vector<std::uint8_t>& reply) {
        if (request >= from) {
            reply[1] = 0;
            std::copy_n(code, 4, reply.begin() + 12);
        }
    };
}

void silence(FakeSntpServer& server) {
    server.drop = [](int) { return true; };
}

// An unattended keeper's run that holds the right: both servers this far ahead, the state as
// given, the kernel refusing adjustments for this reason.
std::function<void(CliRig&)> keeping(double aheadMs, std::optional<std::string> state = {},
                                     std::string refusal = {}) {
    return [=](CliRig& r) {
        r.time.rightToStep = true;
        r.servers[0].offsetMs = r.servers[1].offsetMs = aheadMs;
        r.store.state = state;
        r.adjustment.refusal = refusal;
    };
}

// What korvel-cli says on standard error about arguments it cannot take.
std::string usage(const std::string& what) {
    return "korvel-cli: " + what + "\nTry 'korvel-cli --help'\n";
}

// One JSON object however the run ends: the burst's figures when measured, the reply records
// in evaluation order with the ones averaged marked.
TEST(Cli, ReportsOneJsonObject) {
    CliRig measured;
    measured.server.offsetMs = -1500;
    EXPECT_EQ(measured.run("measure --json"), 0);
    const std::string& json = measured.console.stdOut;
    EXPECT_THAT(json,
                testing::StartsWith("{\"server\":\"192.0.2.1\",\"port\":123,"
                                    "\"offset\":-1.500000,\"offsetWholeSec\":-1,"
                                    "\"likelyCause\":null,\"repliesCounted\":25,\"repliesUsed\":20,"
                                    "\"delayMin\":0.010000,\"delayMax\":0.010000,"
                                    "\"replies\":[{\"offset\":-1.500000,\"delay\":0.010000,"
                                    "\"used\":false,\"server\":0,\"use\":\"extreme\"},{"));
    EXPECT_THAT(json, testing::EndsWith(
                          "\"use\":\"extreme\"}],\"servers\":[{\"address\":\"192.0.2.1\","
                          "\"requests\":25,\"replies\":25,\"kissOfDeath\":null,\"authenticated\":"
                          "false,\"setAside\":0,"
                          "\"medianOffset\":-1.500000,\"medianDelay\":0.010000,\"agreed\":true}],"
                          "\"outcome\":\"evaluated\",\"exitCode\":0}\n"));
}

using Requests = std::vector<int>;
// Who sets the clock in a run: nobody, the system's time service, or the process itself.
enum class Step { None, ByService, Own };

// Every way a run ends, with what it prints where and the status it exits with; the outcome
// decides, never a text of the window. A burst spreads over up to four servers: at most eight
// requests each while another shares the load, nothing after a kiss-o'-death, a silent server
// left after eight, only servers that agree averaged, and an unattended step only on two
// servers' word.
TEST(Cli, ExitsWithTheStatusOfEachOutcomeAndStepsOnlyOnTheServersWord) {
    const std::string four = "measure 192.0.2.1 192.0.2.2 192.0.2.3 192.0.2.4";
    const std::string two = "measure 192.0.2.1 192.0.2.2";
    const std::string unattended = two + " --apply --unattended";
    const std::string keeper = unattended + " --state /var/lib/korvel-sync";
    const struct {
        const char* name;
        std::string args;
        std::function<void(CliRig&)> setUp;
        int status;
        std::string out;         // a part of standard output
        std::string err;         // standard error, whole (a part for an unattended run)
        Step step = Step::None;  // who set the clock
        Requests requests = {};  // per server, as far as given
    } cases[] = {
        {"measured and stepped", "measure --apply", nullptr, 0, "replies used 20 of 25\n", "",
         Step::ByService},
        {"an hour and 2 s behind", "measure", [](CliRig& r) { r.server.offsetMs = -3'602'000; }, 0,
         "likely cause: a time zone or a hardware clock kept in local time\n", ""},
        {"a year behind, in JSON", "measure --json",
         [](CliRig& r) { r.server.offsetMs = 365 * 86'400e3; }, 0, "\"likelyCause\":\"battery\"",
         ""},
        {"a server claiming 1970", "measure", [](CliRig& r) { r.server.offsetMs = -1.796e12; }, 3,
         "服务器时间失效\n", ""},
        {"silent server, in JSON", "measure --json", [](CliRig& r) { silence(r.server); }, 1,
         "{\"server\":\"192.0.2.1\",\"port\":123,\"servers\":[{\"address\":\"192.0.2.1\","
         "\"requests\":30,\"replies\":0,\"kissOfDeath\":null,\"authenticated\":false,\"setAside\":"
         "0,\"agreed\":false,"
         "\"why\":\"noReply\"}],\"message\":\"无法连接服务器\",\"outcome\":\"noReply\","
         "\"exitCode\":1}\n",
         "服务器没有回答: 192.0.2.1\n"},
        {"name not found, no route, silent", "measure none.test 192.0.2.2 192.0.2.3 --json",
         [](CliRig& r) {
             r.socket.lookUpOutcomeOf = {{"none.test", ConnectOutcome::NameNotResolved},
                                         {"192.0.2.2", ConnectOutcome::NetworkUnreachable}};
             silence(r.servers[2]);
         },
         1,
         "\"why\":\"notFound\"},{\"address\":\"192.0.2.2\",\"requests\":0,\"replies\":0,"
         "\"kissOfDeath\":null,\"authenticated\":false,\"setAside\":0,\"agreed\":false,\"why\":"
         "\"unreachable\"}",
         "服务器名称无法解析: none.test\n网络不可达: 192.0.2.2\n服务器没有回答: 192.0.2.3\n",
         Step::None, Requests{0, 0, 30}},
        {"a name in sntp.cfg that is not UTF-8, in JSON", "measure --json",
         [](CliRig& r) {
             r.files.textFiles["/opt/korvel/sntp.cfg"] = {"SNTP caf\xE9.test       1231"};
             r.socket.lookUpOutcome = ConnectOutcome::NameNotResolved;
         },
         1, "{\"server\":\"caf\xEF\xBF\xBD.test\",", "服务器名称无法解析: caf\xE9.test\n"},
        {"too few replies", "measure",
         [](CliRig& r) { r.server.drop = [](int n) { return n > 5; }; }, 2,
         "网络阻塞,请稍候再试!\n", ""},
        {"refused step", "measure --apply",
         [](CliRig& r) {
             r.time.stepAnswer = {ClockStep::NoRight, "no right"};
         },
         4, "replies used 20 of 25\n", "no right\n", Step::ByService},
        {"port in use", "measure --port 1234", [](CliRig& r) { r.socket.portsInUse = {1234}; }, 5,
         "", "本机端口 1234 无法使用\n"},
        {"no private folder", "measure",
         [](CliRig& r) {
             r.files.runtimeFolderPath.clear();
             r.files.runtimeProblem = "no folder";
         },
         6, "", "临时文件 XCV-CLI-4242.TMP 无法打开: no folder\n"},
        {"answer lost", "measure --apply",
         [](CliRig& r) {
             r.time.stepAnswer = {ClockStep::Unknown, "lost"};
             r.time.stepAnswerDelayMs = 5000;
         },
         7, "校准结果未知\n",
         "waiting for the time service's answer (it may be asking for a password)\nlost\n",
         Step::ByService},
        {"unknown option", "measure --bogus", nullptr, 64, "", usage("unknown option '--bogus'")},
        {"no command", "", {}, 64, "", usage("missing command 'measure'")},
        {"port without number", "measure --port", nullptr, 64, "",
         usage("option '--port' needs a port number")},
        {"port out of range", "measure --port 70000", nullptr, 64, "",
         usage("bad port '70000' (0 to 65535)")},
        {"bad address", "measure 10.0_.1", nullptr, 64, "", usage("bad server address '10.0_.1'")},
        {"five servers", "measure a.cn b.cn c.cn d.cn 10.0.0.1", nullptr, 64, "",
         usage("four servers at most, not also '10.0.0.1'")},
        {"NTS port out of range", "measure nts:a.cn:0", nullptr, 64, "",
         usage("bad NTS key exchange port '0' in 'nts:a.cn:0' (1 to 65535)")},
        {"a name twice", "measure a.cn nts:a.cn nts:A.cn.", nullptr, 64, "",
         usage("repeated server 'nts:A.cn.'")},
        {"unattended without apply", "measure --unattended", nullptr, 64, "",
         usage("option '--unattended' goes with '--apply'")},
        {"agreed offset without apply", "measure --agreed-offset 1.0", nullptr, 64, "",
         usage("option '--agreed-offset' goes with '--apply'")},
        {"agreed offset not a number", "measure --apply --agreed-offset 1e9", nullptr, 64, "",
         usage("bad offset '1e9' (seconds, as 3.250000)")},
        {"the offset agreed to, found again", "measure --apply --agreed-offset 1.250001", nullptr,
         0, "offset 2.250000 s\n", "", Step::ByService},
        {"the server changed its answer since", "measure --apply --agreed-offset -3.75", nullptr,
         14, "offset 2.250000 s\n",
         "测得的时差 2.250000 秒与同意校准的 -3.750000 秒相差超过 1.000000 秒，时钟没有校准。\n"},
        {"version", "--version", {}, 0, "korvel-cli " KORVEL_VERSION "\n", ""},
        {"the time service an unattended run would find", "time-service",
         [](CliRig& r) { r.time.otherTimeService = "chronyd (pid 812)"; }, 0, "chronyd (pid 812)\n",
         ""},
        {"four healthy", four, nullptr, 0, "agreed: 192.0.2.1, 192.0.2.2, 192.0.2.3, 192.0.2.4\n",
         "", Step::None, Requests{7, 6, 6, 6}},
        {"one limits, one silent, one an hour off", four,
         [](CliRig& r) {
             kiss(r.servers[1], "RATE", 4);
             silence(r.servers[2]);
             r.servers[3].offsetMs = 3'600'000;
         },
         0,
         "offset 2.250000 s\nreplies used 6 of 19\ndelay 0.010000 .. 0.010000 s\n"
         "agreed: 192.0.2.1, 192.0.2.2\nnot used: 192.0.2.3 (silent), 192.0.2.4 (disagrees)\n",
         "192.0.2.4 与其他服务器的时间不一致，未采用\n", Step::None, Requests{8, 4, 8, 8}},
        {"a single server that limits", "measure", [](CliRig& r) { kiss(r.server, "RATE", 1); }, 8,
         "网络阻塞,请稍候再试!\n", "192.0.2.1 限制访问频率 (RATE)\n", Step::None, Requests{1}},
        {"a server that denies", "measure", [](CliRig& r) { kiss(r.server, "DENY", 3); }, 8,
         "网络阻塞,请稍候再试!\n", "192.0.2.1 拒绝服务 (DENY)\n", Step::None, Requests{3}},
        {"two against two", four + " --apply",
         [](CliRig& r) { r.servers[1].offsetMs = r.servers[3].offsetMs = 3.6e6; }, 9,
         "服务器之间时间不一致\n",
         "192.0.2.1: 2.250000 秒\n192.0.2.2: 3600.000000 秒\n192.0.2.3: 2.250000 秒\n"
         "192.0.2.4: 3600.000000 秒\n",
         Step::None, Requests{7, 6, 6, 6}},
        {"unattended, the second silent", unattended, [](CliRig& r) { silence(r.servers[1]); }, 10,
         "",
         "withheldNoSecondOpinion: 无人值守校准需要两台或更多服务器的时间一致，时钟没有校准。; "
         "offset 2.250000 s; replies used 17 of 22; delay 0.010000 .. 0.010000 s; "
         "agreed: 192.0.2.1; not used: 192.0.2.2 (silent)\n",
         Step::None, Requests{22, 8}},
        {"unattended, two agree", unattended, nullptr, 0, "",
         "stepped: offset 2.250000 s; replies used 11 of 16; delay 0.010000 .. 0.010000 s; "
         "agreed: 192.0.2.1, 192.0.2.2\n",
         Step::ByService, Requests{8, 8}},
        {"unattended, four names at one address",
         "measure a.cn b.cn c.cn d.cn --apply --unattended",
         [](CliRig& r) {
             for (const char* name : {"a.cn", "b.cn", "c.cn", "d.cn"}) {
                 r.socket.addressesOfName[name] = {"192.0.2.1"};
             }
         },
         10, "", "withheldNoSecondOpinion", Step::None, Requests{25}},
        {"unattended, a pool's three addresses against another server",
         "measure pool.cn d.cn --apply --unattended",
         [](CliRig& r) {
             r.socket.addressesOfName = {{"pool.cn", {"192.0.2.1", "192.0.2.2", "192.0.2.3"}},
                                         {"d.cn", {"192.0.2.4"}}};
             r.servers[3].offsetMs = 3'600'000;
         },
         10, "", "not used: d.cn (disagrees)", Step::None, Requests{7, 6, 6, 6}},
        {"a pool beside its member, in JSON", "measure pool.cn 192.0.2.2 --json",
         [](CliRig& r) {
             r.socket.addressesOfName["pool.cn"] = {"192.0.2.1", "192.0.2.2"};
         },
         0,
         "{\"address\":\"192.0.2.2\",\"sameAs\":\"192.0.2.2 (pool.cn)\",\"requests\":0,"
         "\"replies\":0,\"kissOfDeath\":null,\"authenticated\":false,\"setAside\":0,\"agreed\":"
         "false,"
         "\"why\":\"sameMachine\"},{\"address\":\"192.0.2.2\",\"name\":\"pool.cn\",\"requests\":8,",
         "", Step::None, Requests{8, 8}},
        {"unattended, holding the right", unattended, [](CliRig& r) { r.time.rightToStep = true; },
         0, "", "", Step::Own, Requests{8, 8}},
        {"unattended, another time service", unattended,
         [](CliRig& r) { r.time.otherTimeService = "chronyd"; }, 11, "",
         "withheldOtherTimeService: 本机的时间服务 chronyd 正在管理时钟", Step::None,
         Requests{8, 8}},
        {"unattended keeper, a small offset, a garbled state", keeper,
         keeping(20, "korvel-keeper 1\nboot\n"), 0, "",
         "keeper: action slewed, frequency +0.000 ppm, no boot, started afresh", Step::None,
         Requests{8, 8}},
        // A known frequency and a good run half an hour ago: a short burst, one slow reply dropped.
        {"unattended keeper, settled", keeper,
         keeping(10,
                 "korvel-keeper 1\nboot b1\nfrequency 0 0.01\nrun 4005506107 -1800 0.01 2e-05 1 "
                 "slewed 0 0\n"),
         0, "", "replies used 9 of 12", Step::None, Requests{6, 6}},
        {"unattended keeper, the kernel refuses", keeper, keeping(20, std::nullopt, "no right"), 0,
         "",
         "keeper: action stepped, frequency +0.000 ppm, no state yet, started afresh, "
         "adjustment refused: no right",
         Step::Own, Requests{8, 8}},
        {"unattended keeper, ten years ahead in a later run", keeper,
         keeping(3.2e11, "korvel-keeper 1\nboot b1\nrun 4005506107 0 0.01 2e-05 1 slewed 0 0\n"),
         12, "", "withheldOffsetTooLarge: 时差超过 1000 秒", Step::None, Requests{8, 8}},
        {"unattended keeper, ten years ahead, first run after start-up", keeper, keeping(3.2e11), 0,
         "", "keeper: action stepped", Step::Own, Requests{8, 8}},
        {"unattended without a state, ten years ahead", unattended,
         [](CliRig& r) { r.servers[0].offsetMs = r.servers[1].offsetMs = 3.2e11; }, 12, "",
         "withheldOffsetTooLarge", Step::None, Requests{8, 8}},
        {"site servers only", "measure --site-config",
         [](CliRig& r) {
             r.files.textFiles[r.files.userConfigPath + "/sntp.cfg"] = {"SNTP 192.0.2.9"};
             r.files.textFiles[r.files.programFolderPath + "/sntp.cfg"] = {
                 "SNTP 192.0.2.1       1231 192.0.2.2"};
         },
         0, "agreed: 192.0.2.1, 192.0.2.2\n", "", Step::None, Requests{8, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CliRig rig(c.setUp);
        EXPECT_EQ(rig.run(c.args), c.status);
        for (std::size_t i = 0; i < c.requests.size(); ++i) {
            EXPECT_EQ(rig.servers[i].requestsSeen(), c.requests[i]) << "server " << i;
        }
        EXPECT_THAT(rig.console.stdOut, HasSubstr(c.out));
        EXPECT_EQ(rig.time.clockSteps().size(), c.step == Step::ByService ? 1U : 0U);
        EXPECT_EQ(rig.direct.steps.size(), c.step == Step::Own ? 1U : 0U);
        // A keeper's run is remembered, and users may read what it did.
        if (c.args.find("--state") != std::string::npos) {
            ASSERT_TRUE(rig.store.state);
            EXPECT_EQ(parseKeeperState(*rig.store.state, 1e300).problem, "");
            EXPECT_THAT(rig.store.status, testing::StartsWith("korvel-keeper-status 1 "));
        }
        // An unattended run adds its line to the run log, stamped with the time it ended, and
        // gives the journal one entry: that line on standard error, nothing else.
        const bool alone = c.args.find("--apply --unattended") != std::string::npos;
        const std::vector<std::string> logged = rig.files.lines(CliRig::kRunLog);
        ASSERT_EQ(logged.size(), alone ? 1U : 0U);
        if (!alone) {
            EXPECT_EQ(rig.console.stdErr, c.err);
            continue;
        }
        EXPECT_THAT(logged[0], testing::StartsWith("2026-12-06 01:0"));
        EXPECT_EQ(rig.console.stdErr + rig.console.stdOut, logged[0].substr(21) + "\n");
        EXPECT_THAT(rig.console.stdErr, HasSubstr(c.err));
    }
}

// A RATE kiss-o'-death holds its server back for 64 s in every run: the next run within that
// time ends at once without a request, and after it the server is asked again. Each run's
// scratch file, named for its process (the no-private-folder row), is gone when it ends.
TEST(Cli, HonoursARateHoldAcrossRunsEachWithAScratchFileOfItsOwn) {
    CliRig rig;
    kiss(rig.server, "RATE", 1);
    EXPECT_EQ(rig.run("measure"), 8);
    rig.server.tamper = nullptr;
    rig.time.advance(50'000);
    EXPECT_EQ(rig.run("measure"), 8);
    EXPECT_EQ(rig.server.requestsSeen(), 1);
    rig.time.advance(14'000);
    EXPECT_EQ(rig.run("measure"), 0);
    EXPECT_EQ(rig.server.requestsSeen(), 26);
    EXPECT_TRUE(rig.files.byteFiles.empty());
}

}  // namespace
}  // namespace korvel::test
