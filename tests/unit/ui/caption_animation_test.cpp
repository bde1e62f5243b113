#include "ui/form/caption_animation.h"

#include <gtest/gtest.h>

#include "support/test_rig.h"

namespace korvel::test {
namespace {

std::string frame(int blanks) {
    return "连接服务器" + std::string(blanks, ' ') + "->";
}

TEST(CaptionAnimation, CyclesFiveFramesAndContinuesInTheNextBurst) {
    TestRig rig;
    rig.startProgram();
    rig.server.drop = [](int n) { return n > 9; };  // a burst that lasts until the time-out
    std::vector<std::string> captions;
    const Connection recording =
        rig.form->Form1.changed.connect([&] { captions.push_back(rig.form->Form1.caption()); });

    rig.time.advance(1000);  // the first tick restores the title
    rig.measure(3000);
    EXPECT_EQ(captions,
              (std::vector<std::string>{"KORVEL　Ver1.0 ", "连接服务器", frame(15), frame(30),
                                        frame(45), frame(60), frame(75), frame(15)}));

    rig.time.advance(8000);  // the time-out ends the burst; the next tick restores the title
    EXPECT_EQ(rig.form->Form1.caption(), "KORVEL　Ver1.0 ");
    EXPECT_FALSE(rig.form->timers.Timer7->isRunning());

    captions.clear();
    rig.measure(500);
    EXPECT_EQ(captions.back(), frame(75));  // the first burst stopped at 60
}

}  // namespace
}  // namespace korvel::test
