#include "platform/posix/time_services.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/temp_folder.h"

namespace korvel::test {
namespace {

struct Process {
    std::string folder, comm;
    int uid = 0;
    std::string cmdline = "";
};

TEST(RunningTimeService, FindsTheServiceAmongTheSystemsProcesses) {
    using namespace std::string_literals;
    const struct {
        const char* name;
        std::vector<Process> processes;
        std::string expected;
    } cases[] = {
        {"timesyncd by its cut name, its own system user",
         {{"377", "systemd-timesyn", 997}},
         "systemd-timesyncd (pid 377)"},
        {"preference when two run", {{"10", "systemd-timesyn"}, {"11", "ntpd"}}, "ntpd (pid 11)"},
        {"not a process folder", {{"self", "chronyd"}, {"net", "chronyd"}}, ""},
        {"a longer name only starts alike", {{"5", "chronydx"}}, ""},
        {"a process gone before its name was read",
         {{"300", ""}, {"301", "chronyd"}},
         "chronyd (pid 301)"},
        {"a user's copy of sleep named ntpd", {{"4000", "ntpd", 1000, "ntpd\0"s + "600"}}, ""},
        {"a user systemd made for the service", {{"41", "chronyd", 61190}}, "chronyd (pid 41)"},
        {"chronyd that leaves the clock alone",
         {{"50", "chronyd", 0, "chronyd\0-x\0"s}, {"51", "chronyd", 0, "chronyd\0-Q\0"s}},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder proc;
        for (const Process& p : c.processes) {
            proc.write(p.folder + "/status",
                       "Name:\t" + p.comm + "\nUid:\t" + std::to_string(p.uid) + "\t0\t0\t0\n");
            proc.write(p.folder + "/cmdline", p.cmdline);
            if (!p.comm.empty()) {
                proc.write(p.folder + "/comm", p.comm + "\n");
            }
        }
        EXPECT_EQ(runningTimeService(proc.path().string()), c.expected);
    }
    EXPECT_EQ(runningTimeService("/nonexistent/proc"), "");
}

}  // namespace
}  // namespace korvel::test
