#include "wiring/command_dispatch.h"

#include <type_traits>

#include "calibration/clock_correction.h"
#include "calibration/lifecycle.h"
#include "calibration/measure_command.h"
#include "calibration/outcome_display.h"
#include "calibration/time_sync_log.h"
#include "settings/settings_panel.h"
#include "sntp/burst_evaluation.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

void refuse(MainForm& form) {
    form.Toolbar1.setIndicatorImage(Toolbar::kRefusedImage);
    form.timers.Timer6->start();
}

void accept(MainForm& form) {
    form.Toolbar1.setIndicatorImage(Toolbar::kAcceptedImage);
}

// Runs the command when the gate is open, then shows acceptance; otherwise the refusal.
// A new command ends what the status bar said of the last correction, unless its step may
// still land.
void newCommand(MainForm& form) {
    form.StatusBar1.setPanel(2, form.correction.stepPending ? kStepPendingText : "");
}

// A command that answers false refused on its own and keeps its refusal showing.
template <typename Command>
void gated(MainForm& form, const Button& gate, Command command) {
    if (!gate.isEnabled()) {
        refuse(form);
        return;
    }
    newCommand(form);
    if constexpr (std::is_void_v<std::invoke_result_t<Command>>) {
        command();
        accept(form);
    } else if (command()) {
        accept(form);
    }
}

// As gated, but acceptance shows before the command runs.
template <typename Command>
void acceptedFirst(MainForm& form, const Button& gate, Command command) {
    if (!gate.isEnabled()) {
        refuse(form);
        return;
    }
    accept(form);
    newCommand(form);
    command();
}

// 校准 by hand: an offset that a time zone or a flat battery likely explains is applied only
// once the user confirms it, and only while it is still the one asked about; a confirmation
// that comes too late is refused as a late 校准 is, and says why. False when refused.
bool correctByHand(MainForm& form) {
    const double asked = form.offsetSec;
    if (likelyCause(asked) != OffsetCause::None) {
        if (!form.platform.messageBox.confirm(largeOffsetQuestion(asked))) {
            return true;
        }
        if (!form.offsetValid || !form.Command6.isEnabled() || form.offsetSec != asked) {
            refuse(form);
            form.StatusBar1.setPanel(2, kOffsetExpiredText);
            return false;
        }
    }
    clockCorrection(form);
    return true;
}

}  // namespace

void toolbarClick(MainForm& form, int buttonIndex) {
    switch (buttonIndex) {
        case 1:
            gated(form, form.Command5, [&] { measureCommand(form); });
            break;
        case 2:
            gated(form, form.Command6, [&] { return correctByHand(form); });
            break;
        case 3:
            gated(form, form.Command5, [&] { toggleSettingsPanel(form); });
            break;
        case 5:
            gated(form, form.Command5, [&] { form.platform.windows.showAboutBox(); });
            break;
        case 6:
            acceptedFirst(form, form.Command5, [&] { helpCommand(form); });
            break;
        case 7:
            if (shutDown(form)) {
                endProgramNow(form);
            }
            break;
        default:  // 4 (home page), 8 (gap) and 9 (indicator) do nothing
            break;
    }
}

void cheshiClick(MainForm& form) {
    gated(form, form.Command5, [&] { measureCommand(form); });
}

void xiaoshiClick(MainForm& form) {
    acceptedFirst(form, form.Command6, [&] { correctByHand(form); });
}

void shezhiClick(MainForm& form) {
    acceptedFirst(form, form.Command5, [&] { toggleSettingsPanel(form); });
}

void guanyuClick(MainForm& form) {
    acceptedFirst(form, form.Command5, [&] { form.platform.windows.showAboutBox(); });
}

void indicatorResetTick(MainForm& form) {
    form.timers.Timer6->stop();
    form.Toolbar1.setIndicatorImage(Toolbar::kRestImage);
}

void helpCommand(MainForm& form) {
    const std::string page = joinPath(form.platform.files.programFolder(), "HELP.HTM");
    if (!form.platform.windows.openHelpViewer(page)) {
        refuse(form);
        form.platform.messageBox.show("帮助文件 " + page + " 无法打开");
    }
}

}  // namespace korvel
