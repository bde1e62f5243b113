// Files and clock faults on the real platform: a folder that refuses writes, a system that
// refuses to set the clock, a bus restarted between two corrections. (A full disk, and with it
// a save that replaces the file whole, is the POSIX files' unit test.)

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "common/utf8_text.h"
#include "harness/lab.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_timedate_clock.h"
#include "settings/config_file.h"

namespace korvel::lab {

using FileFaults = LabTest;

namespace {

// This process gives up the right to set the clock, for good: a fallback to a direct step
// could then never reach the machine's clock.
bool dropClockRight() {
    ::prctl(PR_CAPBSET_DROP, CAP_SYS_TIME, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    data[CAP_SYS_TIME / 32].effective &= ~(1u << (CAP_SYS_TIME % 32));
    data[CAP_SYS_TIME / 32].permitted &= ~(1u << (CAP_SYS_TIME % 32));
    data[CAP_SYS_TIME / 32].inheritable &= ~(1u << (CAP_SYS_TIME % 32));
    return ::syscall(SYS_capset, &header, data) == 0 && !PosixClock().holdsRightToStep();
}

}  // namespace

// A read-only disk (a tmpfs in this test's own mount namespace) as the program's folder, which
// root could write to otherwise: nothing can be made there, so the log and the settings go to
// the user's own folders. (What the window says of it is the start-up's unit test.)
TEST_F(FileFaults, ReadOnlyProgramFolderLeavesTheFilesToTheUsersOwnFolders) {
    const std::string program = inFolder("ro");
    std::filesystem::create_directory(program);
    std::string output;
    ASSERT_TRUE(shell("mount -t tmpfs -o ro,size=64k korvel-ro " + program, &output)) << output;
    PosixFileSystem files(program, {folder->path(), {}});
    EXPECT_FALSE(files.mayCreateIn(program));
    EXPECT_NE(loadConfig(files, program + "/sntp.cfg").error, FileError::None);
    EXPECT_EQ(files.userFolder(UserFolder::Data, true), inFolder("data/korvel"));
    EXPECT_EQ(saveConfig(files, padRight("192.0.2.9", kAddressFieldWidth), "123 ").error,
              FileError::None);
    EXPECT_FALSE(std::filesystem::exists(program + "/sntp.cfg"));
    EXPECT_EQ(folder->read(inFolder("config/korvel/sntp.cfg")),
              configLine("192.0.2.9", 123) + "\n");
    shell("umount " + program);
}

// korvel-cli --apply against each answer of a fake timedated on a private bus, without it, and
// with no bus at all; while KORVEL's own timer keeps the clock, a run of it is asked for instead;
// the right to set the clock is dropped and checked gone first, so a direct step could never reach
// the real clock.
TEST_F(FileFaults, CliCorrectionGoesThroughTimedatedAndReportsEachAnswer) {
    const struct {
        const char* answer;  // nullptr: no fake; "" with noBus: no bus at all
        bool noBus;
        int status;
        const char* says;
        const char* startUnit = nullptr;  // with the keeper's timer active: "" or "denied"
    } cases[] = {
        {"success", false, 0, "offset "},
        {"denied", false, 4, "未获授权设置系统时钟"},
        {"interactive-required", false, 4, "未获授权设置系统时钟"},
        {"auto-sync", false, 4, "timedatectl set-ntp false"},
        {"auto-sync", false, 4, "正在保持系统时钟，不接受手动校准。已请它现在校准一次", ""},
        {"auto-sync", false, 4, "请管理员运行 systemctl start korvel-sync-now.service", "denied"},
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
        std::optional<ChildProcess> fake;
        if (c.answer) {
            std::vector<std::string> command{KORVEL_TEST_TIMEDATE1, "--bus", bus.address()};
            command.insert(command.end(), {"--record", record, "--answer", c.answer});
            if (c.startUnit) {
                command.insert(command.end(), {"--active-units", "korvel-sync.timer",
                                               "--start-unit", c.startUnit});
            }
            fake.emplace("", command);
            ASSERT_TRUE(fake->waitReady());
        }
        const std::string busAddress = c.noBus ? "unix:path=" + inFolder("none") : bus.address();
        std::string output;
        const int status = runInClient(
            withoutClockRight({"env", "DBUS_SYSTEM_BUS_ADDRESS=" + busAddress, KORVEL_CLI,
                               "measure", NamespacePair::kServerAddress, "--apply"}),
            output);
        EXPECT_EQ(status, c.status) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        // The call carries the printed offset to the microsecond, relative, interactive.
        const std::string calls = folder->read(record);
        if (c.answer) {
            const auto at = output.find("offset ");  // as in "offset 3.250000 s"
            ASSERT_NE(at, std::string::npos) << output;
            const long long printedUs = std::llround(std::stod(output.substr(at + 7)) * 1e6);
            EXPECT_EQ(calls, std::to_string(printedUs) + " 1 1 1\n" +
                                 (c.startUnit ? "StartUnit korvel-sync-now.service 0\n" : ""));
        } else {
            EXPECT_EQ(calls, "");
        }
    }
}

// The bus went away and came back between two corrections: the second reaches the new bus's
// timedated instead of setting the clock without it.
TEST_F(FileFaults, TimedatedOnARestartedBusAnswersTheNextCorrection) {
    ASSERT_TRUE(dropClockRight());
    PosixClock direct;
    QtTimedateClock clock(direct);
    const std::string record = inFolder("settime.calls");
    for (int restart = 0; restart < 2; ++restart) {
        SCOPED_TRACE(restart);
        PrivateBus bus(folder->path() / "bus");
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
        ChildProcess fake("", {KORVEL_TEST_TIMEDATE1, "--bus", bus.address(), "--record", record,
                               "--answer", "success"});
        ASSERT_TRUE(fake.waitReady());
        std::optional<ClockStep> answer;
        clock.stepClock(1.5, false, [&](ClockStepAnswer a) { answer = a.outcome; });
        runUntil([&] { return answer.has_value(); }, 10'000);
        EXPECT_EQ(answer, ClockStep::Stepped);
        EXPECT_EQ(std::ranges::count(folder->read(record), '\n'), restart + 1);
    }
}

}  // namespace korvel::lab
