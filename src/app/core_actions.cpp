#include "app/core_actions.h"

#include "calibration/command_dispatch.h"
#include "settings/lifecycle.h"
#include "settings/settings_panel.h"
#include "settings/start_with_session.h"

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
        .shutDown = [&form] { return shutDown(form); },
        .toggleStartWithSession = [&form,
                                   &sessionStart] { toggleStartWithSession(form, sessionStart); },
        .toggleCloseToTray = [&form] { form.closeToTray.setTicked(!form.closeToTray.isTicked()); },
        .showBurstDetails = [&form] { form.platform.windows.showBurstDetails(); },
    };
}

}  // namespace korvel
