#include "app/cli_main.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/fake_files.h"
#include "support/fake_network.h"
#include "support/virtual_time.h"

namespace korvel::test {
namespace {

using testing::HasSubstr;

class CapturedConsole final : public Console {
public:
    void out(const std::string& utf8) override { stdOut += utf8; }
    void err(const std::string& utf8) override { stdErr += utf8; }
    std::string stdOut;
    std::string stdErr;
};

// korvel-cli on the fake platform: its event loop lets virtual time pass until it quits.
struct CliRig {
    CliRig() {
        files.textFiles[files.programFolderPath + "/sntp.cfg"] = {"SNTP 192.0.2.1       1231"};
    }

    int run(const std::string& arguments, std::uint32_t processId = 4242) {
        std::vector<std::string> words;
        std::istringstream split(arguments);
        for (std::string word; split >> word;) {
            words.push_back(word);
        }
        bool quit = false;
        CliPlatform platform{time,
                             time,
                             socket,
                             time,
                             files,
                             console,
                             time,
                             time,
                             processId,
                             [&] {
                                 for (int ms = 0; !quit && ms < 600'000; ms += 10) {
                                     time.advance(10);
                                 }
                                 return 0;
                             },
                             [&](int) { quit = true; }};
        return runCli(words, platform);
    }

    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 8 * 60};
    FakeUdpSocket socket{time};
    FakeSntpServer server{time, socket};
    FakeFileSystem files;
    CapturedConsole console;
};

// Every way a run ends, with what it prints where and the status it exits with; the
// outcome decides, never a text of the window.
TEST(Cli, ExitsWithTheStatusOfEachOutcomeAndSaysWhy) {
    const std::string tryHelp = "\nTry 'korvel-cli --help'\n";
    const struct {
        const char* name;
        const char* args;
        std::function<void(CliRig&)> setUp;
        int status;
        std::string out;  // a part of standard output
        std::string err;  // standard error, whole
    } cases[] = {
        {"measured",
         "measure",
         {},
         0,
         "offset 2.250000 s\nreplies used 20 of 25\ndelay 0.010000 .. 0.010000 s\n",
         ""},
        {"measured and stepped", "measure --apply", {}, 0, "replies used 20 of 25\n", ""},
        {"silent server", "measure", [](CliRig& r) { r.server.drop = [](int) { return true; }; }, 1,
         "无法连接服务器\n", ""},
        {"name not resolved", "measure none.test",
         [](CliRig& r) { r.socket.lookUpOutcome = ConnectOutcome::NameNotResolved; }, 1,
         "无法连接服务器\n", "服务器名称无法解析: none.test\n"},
        {"too few replies", "measure",
         [](CliRig& r) { r.server.drop = [](int request) { return request > 5; }; }, 2,
         "网络阻塞,请稍候再试!\n", ""},
        {"flagged time", "measure",
         [](CliRig& r) {
             r.server.tamper = [](int, std::vector<std::uint8_t>& b) { b[0] |= 0xC0; };
         },
         3, "服务器时间失效\n", ""},
        {"refused step", "measure --apply",
         [](CliRig& r) {
             r.time.stepAnswer = {ClockStep::NoRight, "no right"};
         },
         4, "replies used 20 of 25\n", "no right\n"},
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
         },
         7, "校准结果未知\n", "lost\n"},
        {"unknown option",
         "measure --bogus",
         {},
         64,
         "",
         "korvel-cli: unknown option '--bogus'" + tryHelp},
        {"no command", "", {}, 64, "", "korvel-cli: missing command 'measure'" + tryHelp},
        {"port without number",
         "measure --port",
         {},
         64,
         "",
         "korvel-cli: option '--port' needs a port number" + tryHelp},
        {"port out of range",
         "measure --port 70000",
         {},
         64,
         "",
         "korvel-cli: bad port '70000' (0 to 65535)" + tryHelp},
        {"bad address",
         "measure 10.0_.1",
         {},
         64,
         "",
         "korvel-cli: bad server address '10.0_.1'" + tryHelp},
        {"two servers",
         "measure a.cn 10.0.0.1",
         {},
         64,
         "",
         "korvel-cli: one server only, not also '10.0.0.1'" + tryHelp},
        {"version", "--version", {}, 0, "korvel-cli 1.00\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CliRig rig;
        rig.server.offsetMs = 2250;
        if (c.setUp) {
            c.setUp(rig);
        }
        EXPECT_EQ(rig.run(c.args), c.status);
        EXPECT_THAT(rig.console.stdOut, HasSubstr(c.out));
        EXPECT_EQ(rig.console.stdErr, c.err);
        EXPECT_EQ(
            rig.time.clockSteps().size(),
            c.status == 4 || c.status == 7 || std::string(c.args) == "measure --apply" ? 1U : 0U);
    }
}

// One JSON object however the run ends: the burst's figures when measured, the reply records
// in evaluation order with the ones averaged marked.
TEST(Cli, ReportsOneJsonObject) {
    CliRig measured;
    measured.server.offsetMs = -1500;
    EXPECT_EQ(measured.run("measure --json"), 0);
    const std::string& json = measured.console.stdOut;
    EXPECT_THAT(json, testing::StartsWith("{\"server\":\"192.0.2.1\",\"port\":123,"
                                          "\"offset\":-1.500000,\"offsetWholeSec\":-1,"
                                          "\"repliesCounted\":25,\"repliesUsed\":20,"
                                          "\"delayMin\":0.010000,\"delayMax\":0.010000,"
                                          "\"replies\":[{\"offset\":-1.500000,\"delay\":0.010000,"
                                          "\"used\":false},{"));
    EXPECT_THAT(json, testing::EndsWith("\"used\":false}],\"outcome\":\"evaluated\","
                                        "\"exitCode\":0}\n"));

    CliRig silent;
    silent.server.drop = [](int) { return true; };
    EXPECT_EQ(silent.run("measure 192.0.2.1 --json"), 1);
    EXPECT_EQ(silent.console.stdOut,
              "{\"server\":\"192.0.2.1\",\"port\":123,\"message\":\"无法连接服务器\","
              "\"outcome\":\"noReply\",\"exitCode\":1}\n");
}

// Two runs at once must never read each other's conversions: each process has a scratch file
// of its own, gone when it ends.
TEST(Cli, EachProcessConvertsThroughAScratchFileOfItsOwn) {
    CliRig rig;
    std::vector<std::string> opened;
    rig.files.onByteAccess = [&] {
        for (const auto& [path, bytes] : rig.files.byteFiles) {
            if (opened.empty() || opened.back() != path) {
                opened.push_back(path);
            }
        }
    };
    EXPECT_EQ(rig.run("measure", 17), 0);
    EXPECT_EQ(rig.run("measure", 18), 0);
    EXPECT_EQ(opened, (std::vector<std::string>{"/run/user/1000/XCV-CLI-17.TMP",
                                                "/run/user/1000/XCV-CLI-18.TMP"}));
    EXPECT_TRUE(rig.files.byteFiles.empty());
}

}  // namespace
}  // namespace korvel::test
