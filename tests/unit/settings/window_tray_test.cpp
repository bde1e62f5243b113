#include "settings/window_tray.h"

#include <gtest/gtest.h>

#include "support/test_rig.h"

namespace korvel::test {
namespace {

// The window goes to the tray, at the start and from its close box, only while the option is
// ticked and a tray shows the icon; otherwise closing runs the unload step. 打开 brings it
// back, and so does the tray going away.
TEST(WindowTray, TheWindowGoesToTheTrayOnlyWhereATrayShowsTheIcon) {
    const struct {
        const char* name;
        bool ticked, tray, closes;
    } cases[] = {
        {"unticked, a tray", false, true, true},
        {"ticked, a tray", true, true, false},
        {"ticked, no tray", true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestRig rig;
        rig.startProgram();
        MainForm& form = *rig.form;
        if (c.ticked) {
            toggleCloseToTray(form);
        }
        trayShown(form, c.tray);
        showWindowAtStart(form);
        EXPECT_EQ(form.Form1.isShown(), c.closes);
        form.Form1.setShown(true);
        EXPECT_EQ(closeWindow(form), c.closes);
        EXPECT_EQ(form.Form1.isShown(), c.closes);
        EXPECT_EQ(form.timers.Timer5->isRunning(), !c.closes);  // the unload step stops the timers
        if (c.closes) {
            continue;
        }
        int fronts = 0;
        const Connection counted = form.Form1.frontRequested.connect([&] { ++fronts; });
        openWindow(form);
        EXPECT_TRUE(form.Form1.isShown() && fronts == 1);
        closeWindow(form);
        trayShown(form, false);
        EXPECT_TRUE(form.Form1.isShown() && closeWindow(form));
    }
}

}  // namespace
}  // namespace korvel::test
