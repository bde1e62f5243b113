#include "settings/start_with_session.h"

#include <string>

#include "settings/settings_panel.h"
#include "ui/form/main_form.h"

namespace korvel {

void applyStartOptions(MainForm& form, const WindowOptions& options) {
    for (const std::string& problem : options.problems) {
        form.platform.messageBox.show(problem);
    }
    bool applied = false;
    if (options.logPath) {
        form.panel.Text4.setText(*options.logPath);
        form.panel.Check2.setTicked(true);
        applied = applyLog(form);
        if (!applied) {
            form.panel.Check2.setTicked(false);
            form.panel.Text4.setText(form.settings.logPath);
        }
    }
    if (options.autoSyncTenths) {
        form.panel.Check1.setTicked(true);
        form.panel.HScroll1.setValue(*options.autoSyncTenths);
        if (options.limitMs) {
            form.panel.HScroll2.setValue(*options.limitMs);
            form.panel.Check3.setTicked(true);
        }
        applySchedule(form);
        applied = true;
    }
    if (applied) {
        showSettingsInEffect(form);
    }
    if (options.tray) {
        form.closeToTray.setTicked(true);
    }
}

void showStartWithSession(MainForm& form, SessionStart& entry) {
    form.startWithSession.setTicked(entry.isOn());
}

void toggleStartWithSession(MainForm& form, SessionStart& entry) {
    if (form.startWithSession.isTicked()) {
        if (!entry.turnOff()) {
            form.platform.messageBox.show("登录时启动项 " + entry.location() + " 无法删除");
        }
    } else if (const std::string reason = entry.cannotHoldProgram(); !reason.empty()) {
        form.platform.messageBox.show("登录时启动项无法写入：" + reason);
    } else if (!entry.turnOn(windowArguments(form.settings, form.closeToTray.isTicked()))) {
        form.platform.messageBox.show("登录时启动项 " + entry.location() + " 无法写入");
    }
    showStartWithSession(form, entry);
}

}  // namespace korvel
