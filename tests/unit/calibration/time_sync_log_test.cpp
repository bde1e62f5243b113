#include "calibration/time_sync_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/measure_command.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::TestRig;

constexpr const char* kLogPath = TestRig::kLogPath;

// A scheduled burst against a server 30 s ahead, without a limit. The 25th reply arrives at
// 09:05:09.510: the correction line carries the time before it, the decision the time after.
// With logging off none of it reaches the open channel. A log that cannot be written (a full
// disk) is reported once per run, after the handler that wrote it, so a scheduled correction
// never waits on the box. (A refused correction's line is the correction's suite.)
TEST(TimeSyncLog, ScheduledBurstLogsInOrderAndAFailedWriteIsReportedOnceAfterTheHandler) {
    const std::vector<std::string> lines{
        "12-06-2026   09:05:07   测时差（自动）", "30.000000   自动校准",
        "12-06-2026  09:05:09   校准(自动)", "12-06-2026  09:05:39   自动校准执行（无时差限制）"};
    enum class Log { On, Off, DiskFull };
    for (const Log log : {Log::On, Log::Off, Log::DiskFull}) {
        SCOPED_TRACE(static_cast<int>(log));
        TestRig rig;
        rig.startProgram();
        rig.server.offsetMs = 30'000;
        rig.startLog();
        rig.form->settings.logOn = log != Log::Off;
        if (log == Log::DiskFull) {
            rig.files.fullFolders.insert(rig.files.programFolderPath);
        }
        rig.form->autoRun = true;
        measureCommand(*rig.form);
        EXPECT_TRUE(rig.messageBox.shown.empty());
        rig.time.advance(12'000);
        EXPECT_EQ(rig.files.lines(kLogPath), log == Log::On ? lines : std::vector<std::string>{});
        EXPECT_EQ(rig.time.clockSteps().size(), 1U);
        rig.measure();
        EXPECT_EQ(rig.messageBox.shown,
                  std::vector<std::string>(log == Log::DiskFull,
                                           "校时数据无法写入 /opt/korvel/12-06-2026.log"));
    }
}

}  // namespace
}  // namespace korvel
