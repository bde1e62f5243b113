#include "platform/posix/time_services.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/temp_folder.h"

namespace korvel::test {
namespace {

TEST(RunningTimeService, FindsTheServiceAmongTheProcesses) {
    using Processes = std::vector<std::pair<std::string, std::string>>;  // folder, comm
    struct Case {
        const char* name;
        Processes processes;
        std::string expected;
    };
    const Case cases[] = {
        {"none", {{"1", "systemd"}, {"200", "bash"}}, ""},
        {"chronyd", {{"1", "systemd"}, {"812", "chronyd"}}, "chronyd"},
        {"ntpd", {{"640", "ntpd"}}, "ntpd"},
        {"timesyncd by its cut name", {{"377", "systemd-timesyn"}}, "systemd-timesyncd"},
        {"preference when two run", {{"10", "systemd-timesyn"}, {"11", "ntpd"}}, "ntpd"},
        {"not a process folder", {{"self", "chronyd"}, {"net", "chronyd"}}, ""},
        {"a longer name only starts alike", {{"5", "chronydx"}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder proc;
        for (const auto& [folder, comm] : c.processes) {
            proc.write(folder + "/comm", comm + "\n");
        }
        EXPECT_EQ(runningTimeService(proc.path().string()), c.expected);
    }
}

TEST(RunningTimeService, UnreadableFoldersArePassedOver) {
    TempFolder proc;
    proc.write("300/status", "gone before its comm was read\n");
    proc.write("301/comm", "chronyd\n");
    EXPECT_EQ(runningTimeService(proc.path().string()), "chronyd");
    EXPECT_EQ(runningTimeService((proc.path() / "missing").string()), "");
}

}  // namespace
}  // namespace korvel::test
