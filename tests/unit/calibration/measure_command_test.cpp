#include "calibration/measure_command.h"

#include <gtest/gtest.h>

#include "support/test_rig.h"

namespace korvel {
namespace {

using test::TestRig;

// A new burst withdraws what the window still showed of the last one: the offset, its texts
// and the hints in their tips.
TEST(MeasureCommand, WithdrawsTheEarlierOffsetAndItsHints) {
    TestRig rig;
    rig.startProgram();
    MainForm& form = *rig.form;
    rig.server.offsetMs = 1000;
    rig.measure(3000);
    ASSERT_TRUE(form.offsetValid && form.Command6.isEnabled() && form.Timer3->isRunning() &&
                form.Text1.text() != "" && form.Text3.text() != "");
    form.Text1.setToolTip("服务器名称无法解析: ntp.example");
    form.Text3.setToolTip("系统拒绝了新的时间。");  // of a refused correction

    measureCommand(form);
    EXPECT_FALSE(form.offsetValid || form.Command6.isEnabled() || form.Timer3->isRunning());
    EXPECT_EQ(form.Text1.text() + form.Text3.text() + form.Text1.toolTip() + form.Text3.toolTip(),
              "");
}

}  // namespace
}  // namespace korvel
