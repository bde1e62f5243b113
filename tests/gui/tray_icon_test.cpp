// The tray icon's view: its menu follows the tray model and hands the commands on, and the
// program hears when the tray goes away and comes back. The icon itself needs a tray, which the
// offscreen platform lacks (see the README's screenshot).

#include "ui/qt/tray_icon.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <string>
#include <vector>

#include "calibration/measure_command.h"
#include "support/test_rig.h"

namespace korvel {
namespace {

TEST(TrayIcon, MenuFollowsTheGatesAndHandsItsCommandsOn) {
    test::TestRig rig;
    rig.startProgram();
    std::vector<std::string> calls;
    FormActions actions;
    actions.toolbarClick = [&](int index) { calls.push_back(std::to_string(index)); };
    actions.openWindow = [&] { calls.push_back("open"); };
    actions.trayShown = [&](bool shown) { calls.push_back(shown ? "shown" : "gone"); };
    bool trayThere = true;
    TrayIcon tray(*rig.form, actions, [&trayThere] { return trayThere; });
    std::vector<std::string> items;
    for (QAction* action : tray.menu().actions()) {
        if (!action->isSeparator()) {
            items.push_back(action->text().toStdString() + (action->isEnabled() ? "" : "-"));
            action->trigger();
        }
    }
    EXPECT_EQ(items, (std::vector<std::string>{"打开", "测时", "校准-", "退出"}));
    trayThere = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls.back() == "gone"; }, 3000));
    trayThere = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls.back() == "shown"; }, 3000));
    EXPECT_EQ(calls, (std::vector<std::string>{"shown", "open", "1", "7", "gone", "shown"}));
    measureCommand(*rig.form);
    EXPECT_FALSE(tray.menu().findChild<QAction*>("measure")->isEnabled());
    EXPECT_EQ(tray.icon().toolTip().toStdString(), "KORVEL\n正在测时");
}

}  // namespace
}  // namespace korvel
