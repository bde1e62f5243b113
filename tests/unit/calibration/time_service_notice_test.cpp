#include "calibration/time_service_notice.h"

#include <gtest/gtest.h>

#include "calibration/clock_correction.h"
#include "support/test_rig.h"

namespace korvel::test {
namespace {

TEST(TimeServiceNotice, NamesTheRunningServiceInTheOffsetTipAndStillCorrects) {
    struct Case {
        const char* service;
        const char* tip;
    };
    const Case cases[] = {
        {"chronyd", "提示：本机的时间服务 chronyd 正在运行，它可能会撤销这次校准。"},
        {"systemd-timesyncd",
         "提示：本机的时间服务 systemd-timesyncd 正在运行，它可能会撤销这次校准。"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.service);
        TestRig rig;
        rig.form->Text3.setToolTip("an earlier tip");
        rig.time.otherTimeService = c.service;
        rig.form->offsetSec = 1.5;
        clockCorrection(*rig.form);
        EXPECT_EQ(rig.form->Text3.toolTip(), c.tip);
        EXPECT_EQ(rig.time.clockSets().size(), 1u);
        EXPECT_TRUE(rig.messageBox.shown.empty());
    }
}

TEST(TimeServiceNotice, TipStaysWhenTheCorrectionIsRefused) {
    TestRig rig;
    rig.time.otherTimeService = "ntpd";
    rig.time.refuseClockSets(true);
    clockCorrection(*rig.form);
    EXPECT_EQ(rig.form->Text3.text(), "校准失败");
    EXPECT_EQ(rig.form->Text3.toolTip(), competingServiceNotice("ntpd"));
}

}  // namespace
}  // namespace korvel::test
