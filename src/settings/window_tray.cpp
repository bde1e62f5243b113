#include "settings/window_tray.h"

#include "calibration/lifecycle.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

bool toTray(const MainForm& form) {
    return form.closeToTray.isTicked() && form.tray.isShown();
}

}  // namespace

void toggleCloseToTray(MainForm& form) {
    form.closeToTray.setTicked(!form.closeToTray.isTicked());
}

bool closeWindow(MainForm& form) {
    if (toTray(form)) {
        form.Form1.setShown(false);
        return false;
    }
    return shutDown(form);
}

void openWindow(MainForm& form) {
    form.Form1.bringToFront();
}

void showWindowAtStart(MainForm& form) {
    form.Form1.setShown(!toTray(form));
}

void trayShown(MainForm& form, bool shown) {
    form.tray.setShown(shown);
    if (!shown && !form.Form1.isShown()) {
        form.Form1.bringToFront();
    }
}

}  // namespace korvel
