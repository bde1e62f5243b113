// Files and clock faults on the real platform: a folder that refuses writes and a system that
// refuses to set the clock. (A full disk, and with it a save that replaces the file whole, is
// the POSIX files' unit test.)

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "harness/lab_fixture.h"
#include "harness/private_bus.h"
#include "settings/settings_panel.h"

namespace korvel::lab {

using FileFaults = LabTest;

// A read-only disk (a tmpfs in this test's own mount namespace) as the program's folder.
TEST_F(FileFaults, ReadOnlyProgramFolderIsReportedAndMeasuringGoesOn) {
    startResponder({"--offset", std::to_string(kServerOffsetSec)});
    const std::string program = inFolder("ro");
    std::filesystem::create_directory(program);
    std::string output;
    ASSERT_TRUE(shell("mount -t tmpfs -o ro,size=64k korvel-ro " + program, &output)) << output;
    rig = std::make_unique<RealRig>(program, folder->path());
    ASSERT_TRUE(rig->startUp());
    EXPECT_EQ(rig->messageBox.shown, std::vector<std::string>{"sntp.cfg 无法建立，使用默认服务器"});
    // The log would go to the user's own data folder; the settings to the user's own copy.
    EXPECT_EQ(rig->form->Text4.text().rfind(inFolder("data/korvel/"), 0), 0u);
    rig->form->Text9.setText(NamespacePair::kServerAddress);
    rig->form->Text10.setText(std::to_string(kClientPort));
    applySettings(*rig->form);
    EXPECT_EQ(rig->messageBox.shown.size(), 1u);
    const BurstSeen outcome = rig->measure();
    ASSERT_TRUE(outcome.evaluated()) << describe(outcome);
    EXPECT_NEAR(outcome.offsetSec, kServerOffsetSec, kToleranceSec);
    EXPECT_FALSE(std::filesystem::exists(program + "/sntp.cfg"));
    EXPECT_EQ(fileLines(inFolder("config/korvel/sntp.cfg")),
              std::vector<std::string>{configLine(NamespacePair::kServerAddress, kClientPort)});
    rig.reset();
    shell("umount " + program);
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
