#include "calibration/measure_command.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "calibration/offset_evaluation.h"
#include "calibration/outcome_display.h"
#include "calibration/time_sync_log.h"
#include "common/day_date.h"
#include "exchange/exchange.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr int kOffsetValidityMs = 34000;

double localDayDate(MainForm& form) {
    return dayDate(form.platform.localClock.getLocalTime());
}

// The engine's one end of a burst, on the window: the local clock and the gates come back,
// then the evaluation is shown or the failure said.
void burstEnded(MainForm& form, const BurstEnd& end) {
    form.timers.burstClockTimer->stop();
    form.StatusBar1.setPanel(2, form.correction.stepPending ? kStepPendingText : "");
    form.platform.beeper.beep();
    form.timers.Timer5->start();
    form.lastClockCheck = localDayDate(form);
    form.replyRecords = end.records;
    form.ntsDatesNote = end.ntsDatesOffsetSec ? ntsDatesText(*end.ntsDatesOffsetSec) : "";
    form.serverNotes = serverNotes(end.rotation, form.servers);
    if (!form.ntsDatesNote.empty()) {
        form.serverNotes.push_back(form.ntsDatesNote);
    }
    std::ranges::copy(authenticatedServers(form.servers, end.result),
                      std::back_inserter(form.serverNotes));
    form.lastBurst = end.result;
    adjust(form, end.outcome);
}

}  // namespace

void attachMeasurement(MainForm& form) {
    form.engine.setListener({
        .replyCounted =
            [&form](int replies) { form.StatusBar1.setPanel(2, replyCountText(replies)); },
        .ended = [&form](const BurstEnd& end) { burstEnded(form, end); },
    });
    form.timers.Timer3->setInterval(kOffsetValidityMs);
    form.timers.Timer3->setTickHandler([&form] { validityTick(form); });
}

bool prepareSocket(MainForm& form, std::vector<std::string> servers, std::int32_t localPort) {
    if (!bindSocket(form.platform.socket, servers.front(), localPort)) {
        return false;
    }
    form.servers = std::move(servers);
    return true;
}

void measureCommand(MainForm& form) {
    form.Form1.setCaption("连接服务器");
    form.Command2.setEnabled(false);
    form.Command5.setEnabled(false);
    form.Command6.setEnabled(false);
    form.timers.Timer5->stop();
    form.timers.burstClockTimer->start();
    form.StatusBar1.setPanel(2, replyCountText(0));
    form.timers.Timer7->start();
    const SystemTime now = form.platform.localClock.getLocalTime();
    logPlain(form, form.autoRun ? scheduledStartLine(now) : eventLine(now, "   测时差"));
    form.Text1.setToolTip("");
    form.Text3.setToolTip("");
    form.engine.start(form.servers);
    form.timers.Timer3->stop();
    form.Text3.setText("");
    form.Text1.setText("");
    form.offsetValid = false;
}

void validityTick(MainForm& form) {
    form.Command6.setEnabled(false);
    form.timers.Timer3->stop();
    form.offsetValid = false;
    form.Text1.setText("");
}

}  // namespace korvel
