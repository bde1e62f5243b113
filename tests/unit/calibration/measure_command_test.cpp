#include "calibration/measure_command.h"

#include <gtest/gtest.h>

#include "support/test_rig.h"

namespace korvel {
namespace {

using test::TestRig;

TEST(MeasureCommand, StartsABurstFromAWindowThatStillHeldAnOffset) {
    TestRig rig;
    rig.prepareExchange();
    MainForm& form = *rig.form;
    // Left over from an earlier burst whose offset is still valid.
    form.offsetValid = true;
    form.Text1.setText(" 2026-12-06  09:05:08");
    form.Text3.setText(" 1.000000 秒");
    form.Text1.setToolTip("服务器名称无法解析: ntp.example");
    form.Text3.setToolTip("系统拒绝了新的时间。");  // of a refused correction
    form.Command6.setEnabled(true);
    form.Timer3->start();
    form.Timer5->start();
    form.requestsSent = 30;
    form.repliesReceived = 7;

    measureCommand(form);
    EXPECT_EQ(form.Form1.caption(), "连接服务器");
    EXPECT_FALSE(form.Command2.isEnabled() || form.Command5.isEnabled() ||
                 form.Command6.isEnabled() || form.Timer5->isRunning());
    EXPECT_TRUE(form.Timer2->isRunning() && form.Timer7->isRunning());
    // The requests start once the server's name is looked up anew.
    EXPECT_FALSE(form.Timer1->isRunning());
    rig.time.advance(0);
    EXPECT_TRUE(form.Timer1->isRunning());
    EXPECT_EQ(rig.socket.lookUps, 2);  // at start-up and at the burst
    // The earlier offset and its hints are withdrawn and the counts start again.
    EXPECT_FALSE(form.offsetValid || form.Timer3->isRunning());
    EXPECT_EQ(form.Text1.text() + form.Text3.text() + form.Text1.toolTip() + form.Text3.toolTip(),
              "");
    EXPECT_EQ(form.requestsSent + form.repliesReceived, 0);
}

}  // namespace
}  // namespace korvel
