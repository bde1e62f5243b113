#include "platform/posix/time_services.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/temp_folder.h"

namespace korvel::test {
namespace {

TEST(RunningTimeService, FindsTheServiceAmongTheProcesses) {
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> processes;  // folder, comm
        std::string expected;
    } cases[] = {
        {"timesyncd by its cut name", {{"377", "systemd-timesyn"}}, "systemd-timesyncd"},
        {"preference when two run", {{"10", "systemd-timesyn"}, {"11", "ntpd"}}, "ntpd"},
        {"not a process folder", {{"self", "chronyd"}, {"net", "chronyd"}}, ""},
        {"a longer name only starts alike", {{"5", "chronydx"}}, ""},
        {"a process gone before its name was read", {{"300", ""}, {"301", "chronyd"}}, "chronyd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder proc;
        for (const auto& [folder, comm] : c.processes) {
            proc.write(folder + (comm.empty() ? "/status" : "/comm"), comm + "\n");
        }
        EXPECT_EQ(runningTimeService(proc.path().string()), c.expected);
    }
    EXPECT_EQ(runningTimeService("/nonexistent/proc"), "");
}

}  // namespace
}  // namespace korvel::test
