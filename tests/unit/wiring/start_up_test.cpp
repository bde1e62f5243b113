#include "wiring/start_up.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "settings/settings_panel.h"
#include "support/test_rig.h"

namespace korvel::test {
namespace {

using ::testing::ElementsAre;

// A second copy says so and ends: no file touched, no port taken, and a window that does not
// answer (a tick of 自动校时 shows no interval).
TEST(StartUp, SecondCopyIsRefusedAndTouchesNoFile) {
    TestRig rig;
    rig.instanceGuard.otherCopy = true;
    EXPECT_FALSE(startUp(*rig.form));
    EXPECT_THAT(rig.messageBox.shown, ElementsAre("此程序已经执行！"));
    rig.form->panel.Check1.setTicked(true);
    EXPECT_TRUE(rig.files.textFiles.empty() && rig.files.byteFiles.empty() &&
                rig.socket.localPort() == 0 && rig.form->panel.Label8.caption().empty());
}

// An unusable program folder and a port in use are reported; the program runs on with the
// default server, and a measurement then ends as with no server.
TEST(StartUp, ProblemsAreReportedAndTheProgramStillRuns) {
    TestRig rig;
    rig.files.readOnlyFolders.insert(rig.files.programFolderPath);
    rig.socket.portsInUse.insert(1231);
    startUp(*rig.form);
    EXPECT_THAT(rig.messageBox.shown,
                ElementsAre("sntp.cfg 无法建立，使用默认服务器", "本机端口 1231 无法使用"));
    EXPECT_EQ(rig.form->servers.front(), "203.107.6.88   ");
    rig.measure();
    EXPECT_TRUE(rig.form->Text1.text() == "无法连接服务器" && rig.form->Command5.isEnabled());
}

// The servers after the port field join the set, one not usable named; applying the panel
// keeps them. Each takes eight requests of a burst, which ends as soon as all are answered (the
// 16th at 1.61 s), without the quiet second; with one unanswered it waits that second out. A
// server that refused service is not asked again.
TEST(StartUp, TakesTheServerSetFromTheFirstLine) {
    TestRig rig;
    FakeSntpServer second{rig.time, rig.socket, "192.0.2.2"};
    rig.files.textFiles[rig.cfgPath()] = {"SNTP 192.0.2.1       1231 192.0.2.2 bad_name"};
    startUp(*rig.form);
    EXPECT_THAT(rig.messageBox.shown, ElementsAre("sntp.cfg 中的服务器无法使用，已跳过: bad_name"));
    EXPECT_THAT(rig.form->servers, ElementsAre("192.0.2.1      ", "192.0.2.2"));
    // The panel shows them, and 取消 brings them back.
    rig.form->panel.Text11.setText("");
    rig.form->panel.Text12.setText("ntp.tencent.com");
    cancelSettings(*rig.form);
    EXPECT_EQ(rig.form->panel.Text11.text() + "|" + rig.form->panel.Text12.text(), "192.0.2.2|");
    applySettings(*rig.form);
    EXPECT_EQ(rig.files.lines(rig.cfgPath()).front(), "SNTP 192.0.2.1       1231 192.0.2.2");

    rig.measure(1'700);
    EXPECT_EQ(std::tuple(rig.form->lastOutcome.outcome, rig.form->lastBurst.counted,
                         rig.form->lastBurst.agreedServers),
              std::tuple(Outcome::Evaluated, 16, 2));
    second.drop = [](int request) { return request == 16; };
    rig.measure(1'700);
    EXPECT_FALSE(rig.form->Command5.isEnabled());
    rig.time.advance(1'000);
    EXPECT_EQ(std::pair(rig.form->lastOutcome.outcome, rig.form->lastBurst.counted),
              std::pair(Outcome::Evaluated, 15));

    second.tamper = [](int, std::vector<std::uint8_t>& reply) {
        reply[1] = 0;
        std::copy_n("DENY", 4, reply.begin() + 12);
    };
    rig.measure();
    rig.measure();
    EXPECT_TRUE(second.requestsSeen() == 17 && rig.form->lastOutcome.outcome == Outcome::Evaluated);
}

}  // namespace
}  // namespace korvel::test
