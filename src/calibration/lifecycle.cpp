#include "calibration/lifecycle.h"

#include <utility>

#include "calibration/outcome_display.h"
#include "calibration/time_sync_log.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

// The window's timers and socket go with it; an event already queued must find them off.
void releaseWindow(MainForm& form) {
    for (Timer* timer :
         {form.timers.Timer3.get(), form.timers.Timer5.get(), form.timers.Timer6.get(),
          form.timers.Timer7.get(), form.timers.Timer4.get(), form.timers.correctionWaitTimer.get(),
          form.timers.burstClockTimer.get(), form.timers.resumeWaitTimer.get()}) {
        timer->stop();
    }
    form.engine.cancel();
    form.platform.systemEvents.setHandler({});
    form.platform.socket.close();
}

}  // namespace

void showAfterHandler(MainForm& form, std::string notice) {
    form.afterHandlerNotices.push_back(std::move(notice));
    form.timers.Timer4->start();
}

bool shutDown(MainForm& form) {
    if (form.correction.correcting) {
        form.correction.closeWhenCorrected = true;
        form.StatusBar1.setPanel(2, kClosingAfterAnswerText);
        return false;
    }
    logEvent(form, "   Closed");
    form.timeSyncLog.close();
    form.scratchFile.close();
    releaseWindow(form);
    return true;
}

void exitNow(MainForm& form) {
    endProgramNow(form);
}

void endProgramNow(MainForm& form) {
    releaseWindow(form);
    form.platform.program.endNow();
}

}  // namespace korvel
