// korvel-sync.service's command run by hand under the unit's limits: an unprivileged user
// without CAP_SYS_TIME (dropped and checked gone first), the site file beside the tool, a runtime
// folder of the user's own, a process view of its own, the system bus pointed at a private one with
// the fake timedated, and the site's two servers in the server namespace. Nothing here can set this
// machine's clock: a step is a call recorded by the fake.

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "harness/lab.h"

namespace korvel::lab {

namespace fs = std::filesystem;

// Unprivileged, without groups or a home: as the user systemd makes for the unit.
constexpr int kUnitUser = 65534;

using ScheduledCorrection = LabTest;

TEST_F(ScheduledCorrection, StepsOnTwoServersWordButNeverBesideAnotherTimeService) {
    const struct {
        const char* name;
        const char* ntp;    // timedated's NTP and NTPSynchronized properties
        const char* units;  // the units systemd has active
        bool chronyd;       // a process named chronyd runs beside it
        int status;
        std::string line;  // the start of the one line it writes (the rest is the CLI unit table's)
    } cases[] = {
        {"two agree", "0", "", false, 0, "stepped: offset 0.2"},
        {"NTP on for KORVEL's own timer", "1", "korvel-sync.timer", false, 0,
         "stepped: offset 0.2"},
        {"timesyncd's unit active", "1", "systemd-timesyncd.service", false, 11,
         "withheldOtherTimeService: 本机的时间服务 systemd-timesyncd.service (active unit) "},
        {"chronyd running", "0", "", true, 11, "withheldOtherTimeService: 本机的时间服务 chronyd "},
    };
    const std::string program = inFolder("program");
    const std::string runtime = inFolder("run");
    fs::create_directories(program);
    fs::create_directories(runtime);
    fs::permissions(folder->path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    ASSERT_EQ(::chown(runtime.c_str(), kUnitUser, kUnitUser), 0);
    fs::copy_file(KORVEL_CLI, program + "/korvel-cli");
    fs::copy_file("/usr/bin/sleep", program + "/chronyd");
    std::ofstream(program + "/sntp.cfg") << configLine(NamespacePair::kServerAddress, 1231) << " "
                                         << NamespacePair::kOtherServerAddress << "\n";
    // The unit's ExecStart, the installed tool's path replaced by this one.
    const std::string command = "$(sed -n 's|^ExecStart=@korvel_cli@|" + program +
                                "/korvel-cli|p' " KORVEL_SYNC_SERVICE ")";
    const std::string record = inFolder("settime.calls");

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tools.clear();
        fs::remove(record);
        startResponder({"--offset", "0.25"});
        startTool(KORVEL_TEST_RESPONDER,
                  {"--offset", "0.25", "--bind", NamespacePair::kOtherServerAddress});
        PrivateBus bus(folder->path() / "bus");
        ChildProcess fake("", {KORVEL_TEST_TIMEDATE1, "--bus", bus.address(), "--record", record,
                               "--ntp", c.ntp, "--synchronized", c.ntp, "--active-units", c.units});
        ASSERT_TRUE(fake.waitReady());

        // A process view of its own (with chronyd in it when asked), then the unit's user.
        const std::string user = std::to_string(kUnitUser);
        const std::string script =
            (c.chronyd ? "\"" + program + "/chronyd\" 60 & " : std::string()) +
            "exec setpriv --reuid " + user + " --regid " + user +
            " --clear-groups env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin XDG_RUNTIME_DIR=" + runtime +
            " DBUS_SYSTEM_BUS_ADDRESS=" + bus.address() + " " + command;
        std::string output;
        const int status = runInClient(
            withoutClockRight({"unshare", "--pid", "--fork", "--mount-proc", "sh", "-c", script}),
            output);

        EXPECT_EQ(status, c.status) << output;
        // One line per run for the journal, led by the outcome.
        EXPECT_EQ(output.rfind(c.line, 0), 0u) << output;
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        const std::string calls = folder->read(record);
        if (c.status == 0) {
            ASSERT_EQ(std::ranges::count(calls, '\n'), 1) << calls;
            EXPECT_NEAR(std::stod(calls), 250'000.0, 10'000.0) << calls;
        } else {
            EXPECT_EQ(calls, "");
        }
    }
}

}  // namespace korvel::lab
