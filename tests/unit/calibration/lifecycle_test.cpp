#include "calibration/lifecycle.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_rig.h"
#include "wiring/command_dispatch.h"

namespace korvel::test {
namespace {

// Three ways to end during a burst with logging on: only closing the window and toolbar 7 write
// the closing record, and whatever keeps the program on afterwards, nothing of the window runs.
TEST(Ending, ClosingRecordAndReleaseFollowTheWayOfEnding) {
    const struct {
        const char* what;
        void (*end)(MainForm&);
        const char* endedAndLastLine;
    } cases[] = {
        {"close box", [](MainForm& f) { shutDown(f); }, "0|12-06-2026  09:05:08   Closed"},
        {"exit button", exitNow, "1|12-06-2026  09:05:07   测时差"},
        {"toolbar 7", [](MainForm& f) { toolbarClick(f, 7); }, "1|12-06-2026  09:05:08   Closed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestRig rig;
        rig.startProgram();
        MainForm& form = *rig.form;
        rig.startLog();
        toolbarClick(form, 1);
        rig.time.advance(1000);
        c.end(form);
        EXPECT_EQ(std::to_string(rig.program.ended) + "|" + rig.logLines().back(),
                  c.endedAndLastLine);
        EXPECT_FALSE(form.engine.running() || form.timers.Timer5->isRunning() ||
                     form.timers.Timer7->isRunning());
        EXPECT_EQ(rig.socket.localPort(), 0);
    }
}

}  // namespace
}  // namespace korvel::test
