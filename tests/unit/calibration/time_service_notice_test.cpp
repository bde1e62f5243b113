#include "calibration/time_service_notice.h"

#include <gtest/gtest.h>

#include "calibration/clock_correction.h"
#include "support/test_rig.h"

namespace korvel::test {
namespace {

// The notice goes into the offset box's tip, after the reason of a failure, never a message
// box, and the correction the user asked for still runs.
TEST(TimeServiceNotice, NamesTheRunningServiceInTheOffsetTipAndStillCorrects) {
    const struct {
        const char* service;
        bool refused;
        std::string tip;
    } cases[] = {
        {"chronyd", false, "提示：本机的时间服务 chronyd 正在运行，它可能会撤销这次校准。"},
        {"ntpd", true,
         std::string(kNoRightReason) +
             "\n提示：本机的时间服务 ntpd 正在运行，它可能会撤销这次校准。"},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.service);
        TestRig rig;
        rig.form->Text3.setToolTip("an earlier tip");
        rig.time.otherTimeService = c.service;
        rig.time.stepAnswer = c.refused ? ClockStep::NoRight : ClockStep::Stepped;
        rig.form->offsetSec = 1.5;
        clockCorrection(*rig.form);
        EXPECT_EQ(rig.form->Text3.toolTip(), c.tip);
        EXPECT_EQ(rig.time.clockSteps().size(), 1U);
        EXPECT_EQ(rig.form->Text3.text(), c.refused ? "校准失败" : "");
        EXPECT_TRUE(rig.messageBox.shown.empty());
    }
}

}  // namespace
}  // namespace korvel::test
