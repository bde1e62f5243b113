#include "calibration/measure_command.h"

#include "calibration/outcome_display.h"
#include "calibration/time_sync_log.h"
#include "exchange/exchange.h"
#include "ui/form/main_form.h"

namespace korvel {

void measureCommand(MainForm& form) {
    form.Form1.setCaption("连接服务器");
    form.Command2.setEnabled(false);
    form.Command5.setEnabled(false);
    form.Command6.setEnabled(false);
    form.Timer5->stop();
    form.burstClockTimer->start();
    form.StatusBar1.setPanel(2, replyCountText(0));
    form.Timer7->start();
    const SystemTime now = form.platform.localClock.getLocalTime();
    logPlain(form, form.autoRun ? scheduledStartLine(now) : eventLine(now, "   测时差"));
    form.requestsSent = 0;
    form.repliesReceived = 0;
    form.sentRequests.clear();
    form.burstClockBaseMs.reset();
    form.largestDelaySec = 0.0;
    form.requestsOut = false;
    form.quietTimer->stop();
    form.Text1.setToolTip("");
    form.Text3.setToolTip("");
    form.Timer2->start();
    startExchange(form);
    form.Timer3->stop();
    form.Text3.setText("");
    form.Text1.setText("");
    form.offsetValid = false;
}

}  // namespace korvel
