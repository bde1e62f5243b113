#include "exchange/burst_supervision.h"

#include "calibration/offset_evaluation.h"
#include "common/day_date.h"
#include "exchange/request_sender.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

double localDayDate(MainForm& form) {
    return dayDate(form.platform.localClock.getLocalTime());
}

void endFailedBurst(MainForm& form, Rgb color, const char* message) {
    form.Text1.setForeColor(color);
    form.Text1.setText(message);
    form.Command5.setEnabled(true);
    form.Command2.setEnabled(true);
    // A scheduled burst that failed must not leave the next manual one believing it was
    // scheduled.
    form.autoRun = false;
}

}  // namespace

void burstTimeoutTick(MainForm& form) {
    form.Timer2->stop();
    forgetBurst(form);
    form.platform.beeper.beep();
    form.Timer5->start();
    form.lastClockCheck = localDayDate(form);
    if (form.repliesReceived == 0) {
        endFailedBurst(form, kRed, "无法连接服务器");
    } else if (form.repliesReceived < kFewestEvaluatedReplies) {
        endFailedBurst(form, kYellow, "网络阻塞,请稍候再试!");
    } else {
        adjust(form, form.repliesReceived);
        form.lastClockCheck = localDayDate(form);
    }
}

void validityTick(MainForm& form) {
    form.Command6.setEnabled(false);
    form.Timer3->stop();
    form.offsetValid = false;
    form.Text1.setText("");
}

}  // namespace korvel
