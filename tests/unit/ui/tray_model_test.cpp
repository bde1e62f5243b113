#include "ui/form/tray_model.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "calibration/clock_display.h"
#include "common/day_date.h"
#include "support/test_rig.h"
#include "ui/form/form_layout.h"
#include "wiring/command_dispatch.h"

namespace korvel::test {
namespace {

// A burst, then 校准 with the system's answer after `answerMs`.
std::function<void(TestRig&)> measureAndStep(ClockStepAnswer answer = {}, int answerMs = 0) {
    return [=](TestRig& rig) {
        rig.time.stepAnswer = answer;
        rig.time.stepAnswerDelayMs = answerMs;
        rig.measure(3000);
        toolbarClick(*rig.form, 2);
    };
}

// The icon's state, tool tip and menu gates after what happened since start-up (09:05:07
// local time); 打开 and 退出 are always open.
TEST(TrayModel, StateToolTipAndGatesFollowBurstsCorrectionsAndTheSchedule) {
    const std::string measured = "KORVEL\n时差 2.250000 秒（09:05:09 测得）";
    const ClockStepAnswer refused{ClockStep::NotAuthorised, "未获授权\n详情"};
    const struct {
        const char* name;
        std::function<void(TestRig&)> act;
        TrayState state;
        std::string toolTip;
        bool measure, calibrate;  // the gates of 测时 and 校准
    } cases[] = {
        {"started", [](TestRig&) {}, TrayState::Idle, "KORVEL\n尚未测时", true, false},
        {"measuring", [](TestRig& rig) { rig.measure(500); }, TrayState::Measuring,
         "KORVEL\n正在测时", false, false},
        {"measured", [](TestRig& rig) { rig.measure(3000); }, TrayState::Good, measured, true,
         true},
        {"stepped", measureAndStep(), TrayState::Good, measured + "\n已校准", true, false},
        {"step waits for consent", measureAndStep({}, 60'000), TrayState::Measuring,
         measured + "\n正在校准", false, false},
        {"step refused, then a failed burst on a schedule",
         [&](TestRig& rig) {
             measureAndStep(refused)(rig);
             rig.server.drop = [](int) { return true; };
             rig.form->settings.autoSyncOn = true;
             rig.form->settings.autoSyncTenths = 5;
             rig.form->settings.scheduleStart = 9 * 3600;
             rig.measure(12'000);
         },
         TrayState::Idle,
         measured + "\n上次测时失败：服务器没有回答: 192.0.2.1\n下次自动校时 09:30:00", true,
         false},
        {"step refused", measureAndStep(refused), TrayState::Refused,
         measured + "\n校准未完成：未获授权", true, false},
        {"woken on a schedule",
         [](TestRig& rig) {
             rig.form->settings.autoSyncOn = true;
             systemEventArrived(*rig.form, SystemEvent::Resumed);
             rig.time.advance(1000);
         },
         TrayState::Idle, "KORVEL\n尚未测时\n下次自动校时 网络恢复 15 秒后", true, false},
        {"the scheduled correction keeps the clock",
         [](TestRig& rig) {
             const double now = ntpSecondsOfUnixNs(rig.time.utcMs() * 1'000'000);
             rig.files.textFiles[kKeeperStatusPath] = {"korvel-keeper-status 1 " +
                                                       std::to_string(now - 330) +
                                                       " slewed 0.000123 -12.345 -12.3 0.01"};
             rig.time.advance(1000);
         },
         TrayState::Idle,
         "KORVEL\n尚未测时\n定时校准保持时钟：5 分钟前微调（时差 0.000123 秒），频率 -12.345 ppm",
         true, false},
    };
    const auto& items = layout::kTrayItems;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestRig rig;
        rig.server.offsetMs = 2250;
        rig.startProgram();
        TrayModel& tray = rig.form->tray;
        int changes = 0;
        const Connection counted = tray.changed.connect([&] { ++changes; });
        c.act(rig);
        EXPECT_EQ(tray.state(), c.state);
        EXPECT_EQ(tray.toolTip(), c.toolTip);
        EXPECT_TRUE(tray.isEnabled(items[0]) && tray.isEnabled(items[3]));
        EXPECT_EQ(tray.isEnabled(items[1]), c.measure);
        EXPECT_EQ(tray.isEnabled(items[2]), c.calibrate);
        EXPECT_EQ(changes == 0, c.toolTip == "KORVEL\n尚未测时");  // the views hear of each change
    }
}

}  // namespace
}  // namespace korvel::test
