#include "calibration/time_sync_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/clock_correction.h"
#include "calibration/measure_command.h"
#include "calibration/offset_evaluation.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

using test::TestRig;
using test::utcTime;
using testing::ElementsAre;
using testing::EndsWith;
using testing::IsEmpty;

constexpr const char* kLogPath = "/opt/korvel/12-06-2026.log";

TEST(TimeSyncLog, EveryLineKindIsLaidOutByteForByte) {
    const SystemTime local = utcTime(2026, 12, 6, 9, 5, 7);
    const struct {
        std::string line;
        const char* expected;
    } cases[] = {
        {eventLine(local, "   测时差"), "12-06-2026  09:05:07   测时差"},
        {scheduledStartLine(local), "12-06-2026   09:05:07   测时差（自动）"},
        {resultLine(0.123456, false), "0.123456"},
        {resultLine(-0.5, true), "-0.500000   自动校准"},
        {resultLine(1234.5, false), "1234.500000"},
        {eventLine(local, "   校准"), "12-06-2026  09:05:07   校准"},
        {eventLine(local, "   校准(自动)"), "12-06-2026  09:05:07   校准(自动)"},
        {eventLine(local, "   自动校准执行（时差小于限制）"),
         "12-06-2026  09:05:07   自动校准执行（时差小于限制）"},
        {eventLine(local, "   自动校准执行（无时差限制）"),
         "12-06-2026  09:05:07   自动校准执行（无时差限制）"},
        {eventLine(local, "   自动未校准执行（时差不小于限制）"),
         "12-06-2026  09:05:07   自动未校准执行（时差不小于限制）"},
        {eventLine(local, "   自动校时无法执行"), "12-06-2026  09:05:07   自动校时无法执行"},
        {eventLine(local, "   Closed"), "12-06-2026  09:05:07   Closed"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.line, c.expected);
    }
}

TEST(TimeSyncLog, ManualMeasurementAndCorrectionWriteThreeLines) {
    // Timers without handlers: only the commands below act.
    TestRig rig;
    MainForm& form = *rig.form;
    form.settings.logOn = true;
    ASSERT_EQ(form.timeSyncLog.open(rig.files, kLogPath), FileError::None);

    measureCommand(form);
    for (std::size_t i = 1; i <= 25; ++i) {
        form.replyRecords[i] = ReplyRecord{};
        form.replyRecords[i].t2 = form.replyRecords[i].t3 = 0.123456;
    }
    adjust(form, 25);
    rig.time.advance(13'000);
    clockCorrection(form);

    EXPECT_THAT(rig.files.lines(kLogPath), ElementsAre("12-06-2026  09:05:07   测时差", "0.123456",
                                                       "12-06-2026  09:05:20   校准"));
}

// A scheduled burst against a server 30 s ahead, without a limit.
struct ScheduledBurst {
    explicit ScheduledBurst(bool refuse) {
        rig.prepareExchange();
        rig.server.offsetMs = 30'000;
        rig.time.refuseClockSets(refuse);
        MainForm& form = *rig.form;
        form.settings.logOn = true;
        form.timeSyncLog.open(rig.files, kLogPath);
        form.autoRun = true;
        rig.measure(2600);
    }
    TestRig rig;
};

TEST(TimeSyncLog, ScheduledBurstEndingInACorrectionLogsInOrder) {
    ScheduledBurst burst(/*refuse=*/false);
    const std::vector<std::string> lines = burst.rig.files.lines(kLogPath);
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[0], "12-06-2026   09:05:07   测时差（自动）");
    EXPECT_THAT(lines[1], EndsWith("   自动校准"));
    EXPECT_NEAR(std::stod(lines[1]), 30.0, 1e-5);
    // The 25th reply arrives at 09:05:09.510; the correction line carries the time before it.
    EXPECT_EQ(lines[2], "12-06-2026  09:05:09   校准(自动)");
    // The decision is read from the corrected clock, 30 s later.
    EXPECT_EQ(lines[3], "12-06-2026  09:05:39   自动校准执行（无时差限制）");
}

TEST(TimeSyncLog, RefusedScheduledCorrectionLogsTheFailureBeforeTheDecision) {
    ScheduledBurst burst(/*refuse=*/true);
    const std::vector<std::string> lines = burst.rig.files.lines(kLogPath);
    ASSERT_EQ(lines.size(), 5U);
    EXPECT_EQ(lines[0], "12-06-2026   09:05:07   测时差（自动）");
    EXPECT_THAT(lines[1], EndsWith("   自动校准"));
    EXPECT_EQ(lines[2], "12-06-2026  09:05:09   校准(自动)");
    EXPECT_EQ(lines[3], "校准失败");
    EXPECT_EQ(lines[4], "12-06-2026  09:05:09   自动校准执行（无时差限制）");
}

TEST(TimeSyncLog, NoFileIsCreatedWhileLoggingWasNeverOn) {
    TestRig rig;
    rig.prepareExchange();
    rig.form->autoRun = true;
    rig.measure(12'000);
    measureCommand(*rig.form);
    rig.time.advance(3000);
    clockCorrection(*rig.form);
    EXPECT_EQ(rig.time.clockSets().size(), 2U);
    EXPECT_THAT(rig.files.textFiles, IsEmpty());
}

TEST(TimeSyncLog, DefaultPathIsTheStartDateInTheProgramFolder) {
    const SystemTime local = utcTime(2026, 12, 6, 9, 5, 7);
    EXPECT_EQ(defaultLogPath("/opt/korvel", local), "/opt/korvel/12-06-2026.log");
    EXPECT_EQ(defaultLogPath("/", local), "/12-06-2026.log");
    EXPECT_EQ(defaultLogPath("/opt/korvel", utcTime(2027, 1, 1, 0, 0, 0)),
              "/opt/korvel/01-01-2027.log");
}

TEST(TimeSyncLog, ReopeningKeepsTheChannelAndABadPathDoesNotLoseIt) {
    test::FakeFileSystem files;
    TimeSyncLog log;
    EXPECT_FALSE(log.isOpen());
    EXPECT_EQ(log.open(files, "/missing/12-06-2026.log"), FileError::PathNotFound);
    EXPECT_FALSE(log.isOpen());

    ASSERT_EQ(log.open(files, kLogPath), FileError::None);
    log.append("first");
    EXPECT_EQ(log.open(files, kLogPath), FileError::None);
    EXPECT_EQ(log.open(files, "/missing/12-06-2026.log"), FileError::PathNotFound);
    log.append("second");
    EXPECT_THAT(files.lines(kLogPath), ElementsAre("first", "second"));
    EXPECT_FALSE(files.exists("/missing/12-06-2026.log"));
}

TEST(TimeSyncLog, WritersWriteNothingWhileLoggingIsOff) {
    TestRig rig;
    MainForm& form = *rig.form;
    form.timeSyncLog.open(rig.files, kLogPath);
    logEvent(form, "   校准");
    logPlain(form, "校准失败");
    form.settings.logOn = true;
    logPlain(form, "校准失败");
    EXPECT_THAT(rig.files.lines(kLogPath), ElementsAre("校准失败"));
}

}  // namespace
}  // namespace korvel
