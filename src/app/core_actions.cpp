#include "app/core_actions.h"

#include "calibration/lifecycle.h"
#include "settings/settings_panel.h"
#include "settings/start_with_session.h"
#include "settings/window_tray.h"
#include "wiring/command_dispatch.h"

namespace korvel {

FormActions coreActions(MainForm& form, SessionStart& sessionStart) {
    return FormActions{
        .toolbarClick = [&form](int index) { toolbarClick(form, index); },
        .cheshiClick = [&form] { cheshiClick(form); },
        .xiaoshiClick = [&form] { xiaoshiClick(form); },
        .shezhiClick = [&form] { shezhiClick(form); },
        .guanyuClick = [&form] { guanyuClick(form); },
        .applySettings = [&form] { applySettings(form); },
        .cancelSettings = [&form] { cancelSettings(form); },
        .exitNow = [&form] { exitNow(form); },
        .closeWindow = [&form] { return closeWindow(form); },
        .openWindow = [&form] { openWindow(form); },
        .trayShown = [&form](bool shown) { trayShown(form, shown); },
        .toggleStartWithSession = [&form,
                                   &sessionStart] { toggleStartWithSession(form, sessionStart); },
        .toggleCloseToTray = [&form] { toggleCloseToTray(form); },
        .showBurstDetails = [&form] { form.platform.windows.showBurstDetails(); },
    };
}

}  // namespace korvel
