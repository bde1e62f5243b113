// Files and clock faults on the real platform: folders that refuse writes, a full disk, a
// program killed in the middle of saving, and a system that refuses to set the clock.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "harness/lab_fixture.h"
#include "harness/private_bus.h"
#include "settings/settings_panel.h"

namespace korvel::lab {

namespace {

class FileFaults : public LabTest {
protected:
    // A small tmpfs at a fresh folder, private to this test's mount namespace.
    std::string mountTmpfs(const std::string& name, const std::string& options) {
        const std::string path = inFolder(name);
        std::filesystem::create_directory(path);
        std::string output;
        EXPECT_TRUE(shell("mount -t tmpfs -o " + options + " korvel-" + name + " " + path, &output))
            << output;
        mounts.push_back(path);
        return path;
    }
    void TearDown() override {
        rig.reset();
        for (const auto& path : mounts) {
            shell("umount " + path);
        }
        LabTest::TearDown();
    }
    void startProgramIn(const std::string& programFolder) {
        rig = std::make_unique<RealRig>(programFolder, folder->path());
        ASSERT_TRUE(rig->startUp());
    }
    void apply(const std::string& address, const std::string& port, bool log,
               const std::string& logPath = "") {
        MainForm& form = *rig->form;
        form.Text9.setText(address);
        form.Text10.setText(port);
        form.Check2.setTicked(log);
        if (log) {
            form.Text4.setText(logPath);
        }
        applySettings(form);
    }
    void expectRightOffset() {
        const BurstSeen outcome = rig->measure();
        ASSERT_TRUE(outcome.evaluated()) << describe(outcome);
        EXPECT_NEAR(outcome.offsetSec, kServerOffsetSec, kToleranceSec);
    }
    std::vector<std::string> mounts;
};

}  // namespace

TEST_F(FileFaults, ReadOnlyProgramFolderIsReportedAndMeasuringGoesOn) {
    startResponder({"--offset", std::to_string(kServerOffsetSec)});
    const std::string program = mountTmpfs("ro", "ro,size=64k");
    startProgramIn(program);
    ASSERT_FALSE(rig->messageBox.shown.empty());
    EXPECT_EQ(rig->messageBox.shown[0], "sntp.cfg 无法建立，使用默认服务器");
    // The log would go to the user's own data folder; the settings to the user's own copy.
    EXPECT_EQ(rig->form->Text4.text().rfind(inFolder("data/korvel/"), 0), 0u);
    apply(NamespacePair::kServerAddress, std::to_string(kClientPort), false);
    EXPECT_EQ(rig->messageBox.shown.size(), 1u);
    expectRightOffset();
    EXPECT_FALSE(std::filesystem::exists(program + "/sntp.cfg"));
    EXPECT_EQ(fileLines(inFolder("config/korvel/sntp.cfg")),
              std::vector<std::string>{configLine(NamespacePair::kServerAddress, kClientPort)});
}

TEST_F(FileFaults, FullDiskKeepsTheConfigurationAndTheProgramRunning) {
    startResponder({"--offset", std::to_string(kServerOffsetSec)});
    const std::string program = mountTmpfs("full", "size=64k");
    const std::string cfg = program + "/sntp.cfg";
    std::ofstream(cfg) << configLine(NamespacePair::kServerAddress, kClientPort) << "\n";
    startProgramIn(program);
    const std::vector<std::string> before = fileLines(cfg);
    {
        std::ofstream filler(program + "/filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) &&
               filler.flush()) {
        }
    }

    // The port changes, so the apply must rewrite sntp.cfg; the log lives on the same disk.
    // (The user's copy takes the settings, as on a read-only folder.)
    apply(NamespacePair::kServerAddress, "1232", true, program + "/sync.log");
    EXPECT_EQ(fileLines(cfg), before);
    expectRightOffset();
    // The log lines of the burst were lost, and that is said once.
    EXPECT_EQ(std::count(rig->messageBox.shown.begin(), rig->messageBox.shown.end(),
                         "校时数据无法写入 " + program + "/sync.log"),
              1);
}

// sntp.cfg as a FIFO (which would block a plain open for good): the start goes on with the
// default server. A log path in a missing folder, at a FIFO or at a device is refused.
TEST_F(FileFaults, FifosDevicesAndMissingFoldersHoldNothingUp) {
    const std::string program = inFolder("program");
    std::filesystem::create_directory(program);
    ASSERT_EQ(::mkfifo((program + "/sntp.cfg").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(inFolder("fifo").c_str(), 0600), 0);
    startProgramIn(program);
    EXPECT_EQ(rig->messageBox.shown, std::vector<std::string>{"sntp.cfg 无法建立，使用默认服务器"});
    for (const std::string& path :
         {inFolder("missing/sync.log"), inFolder("fifo"), std::string("/dev/full")}) {
        apply(NamespacePair::kServerAddress, std::to_string(kClientPort), true, path);
        EXPECT_EQ(rig->messageBox.shown.back(), "校时数据保存路径错误") << path;
        EXPECT_FALSE(rig->form->settings.logOn);
    }
}

// Without $XDG_RUNTIME_DIR and with the program's own folder in the temporary folder taken
// by another user, korvel-cli names the cause and exits 6 instead of blaming the server.
TEST_F(FileFaults, RuntimeFolderTakenByAnotherUser) {
    const std::string tmp = inFolder("tmp");
    const std::string taken = tmp + "/korvel-" + std::to_string(::geteuid());
    std::filesystem::create_directories(taken);
    std::filesystem::permissions(tmp, static_cast<std::filesystem::perms>(01777));
    std::filesystem::permissions(taken, static_cast<std::filesystem::perms>(0700));
    ASSERT_EQ(::chown(taken.c_str(), 4242, 4242), 0);
    std::string output;
    const std::string command = "env -u XDG_RUNTIME_DIR TMPDIR=" + tmp + " " + KORVEL_CLI +
                                " measure " + NamespacePair::kServerAddress + " 2>&1";
    EXPECT_EQ(runInClient({"sh", "-c", command}, output), 6) << output;
    EXPECT_THAT(output, testing::MatchesRegex("临时文件 XCV-CLI-[0-9]+\\.TMP 无法打开: " + taken +
                                              " 属于其他用户\n"));
}

TEST_F(FileFaults, KilledDuringApplyLeavesOldOrNewConfiguration) {
    const std::string lineA = configLine("198.18.0.2", 0);
    const std::string lineB = configLine("198.18.0.3", 0);
    std::mt19937 random(20260206);
    int rounds = 0;
    int leftovers = 0;
    for (int round = 0; round < 40; ++round, ++rounds) {
        test::TempFolder program;
        const std::string cfg = program.path() / "sntp.cfg";
        std::ofstream(cfg) << lineA << "\n";
        ChildProcess victim("", {"unshare", "-n", KORVEL_APPLY_VICTIM, program.path(),
                                 program.path(), "198.18.0.2", "198.18.0.3"});
        ASSERT_TRUE(victim.waitReady()) << "the apply victim did not start";
        ::usleep(static_cast<useconds_t>(random() % 30'000));
        victim.kill();
        victim.wait(5000);

        const auto lines = fileLines(cfg);
        ASSERT_EQ(lines.size(), 1u) << "round " << round;
        EXPECT_TRUE(lines[0] == lineA || lines[0] == lineB)
            << "round " << round << ": " << lines[0];
        // At most the one temporary file, which the next save reuses.
        for (const auto& entry : std::filesystem::directory_iterator(program.path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("sntp.cfg.", 0) == 0) {
                EXPECT_EQ(name, "sntp.cfg.new") << "round " << round;
                ++leftovers;
            }
        }
    }
    std::printf("[killed during apply] %d kills, %d left sntp.cfg.new behind\n", rounds, leftovers);
}

// korvel-cli --apply against each answer of a fake timedated on a private bus, and with no
// bus at all; the right to set the clock is dropped and checked gone first, so a direct step
// could never reach the real clock.
TEST_F(FileFaults, CliCorrectionGoesThroughTimedatedAndReportsEachAnswer) {
    const struct {
        const char* answer;  // nullptr: no fake; "" with noBus: no bus at all
        bool noBus;
        int status;
        const char* says;
    } cases[] = {
        {"success", false, 0, "offset "},
        {"denied", false, 4, "未获授权设置系统时钟"},
        {"interactive-required", false, 4, "未获授权设置系统时钟"},
        {"auto-sync", false, 4, "timedatectl set-ntp false"},
        {"vanish", false, 7, "校准结果未知"},
        {nullptr, false, 4, "本机没有可请求的时间服务"},
        {nullptr, true, 4, "本机没有可请求的时间服务"},
    };
    startResponder({"--offset", "3.25"});
    const std::string record = inFolder("settime.calls");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer ? c.answer : c.noBus ? "no bus" : "no timedated");
        std::filesystem::remove(record);
        PrivateBus bus(folder->path() / "bus");
        std::unique_ptr<ChildProcess> fake;
        if (c.answer) {
            fake = std::make_unique<ChildProcess>(
                "", std::vector<std::string>{KORVEL_TEST_TIMEDATE1, "--bus", bus.address(),
                                             "--record", record, "--answer", c.answer});
            ASSERT_TRUE(fake->waitReady());
        }
        std::string output;
        const int status = runInClient(
            withoutClockRight(
                {"env",
                 "DBUS_SYSTEM_BUS_ADDRESS=" + (c.noBus ? bus.absentAddress() : bus.address()),
                 KORVEL_CLI, "measure", NamespacePair::kServerAddress, "--apply"}),
            output);
        std::printf("[%s] exit %d\n%s", c.answer ? c.answer : "-", status, output.c_str());
        EXPECT_EQ(status, c.status) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        // The call carries the printed offset to the microsecond, relative, interactive.
        const std::vector<std::string> calls = fileLines(record);
        if (c.answer) {
            const auto at = output.find("offset ");
            ASSERT_NE(at, std::string::npos) << output;
            const long long printed = std::llround(std::stod(output.substr(at + 7)) * 1e6);
            EXPECT_EQ(calls, std::vector<std::string>{std::to_string(printed) + " 1 1 1"});
        } else {
            EXPECT_TRUE(calls.empty());
        }
    }
}

}  // namespace korvel::lab
