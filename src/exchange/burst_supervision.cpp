#include "exchange/burst_supervision.h"

#include <utility>

#include "calibration/offset_evaluation.h"
#include "calibration/outcome_display.h"
#include "common/day_date.h"
#include "exchange/request_sender.h"
#include "sntp/burst_evaluation.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

double localDayDate(MainForm& form) {
    return dayDate(form.platform.localClock.getLocalTime());
}

void endBurst(MainForm& form, OutcomeRecord unanswered) {
    form.Timer2->stop();
    forgetBurst(form);
    form.platform.beeper.beep();
    form.Timer5->start();
    form.lastClockCheck = localDayDate(form);
    if (form.repliesReceived >= kFewestEvaluatedReplies) {
        adjust(form, form.repliesReceived);
        form.lastClockCheck = localDayDate(form);
        return;
    }
    if (form.repliesReceived > 0) {
        unanswered = {Outcome::TooFewReplies, {}, {}};
    }
    recordOutcome(form, std::move(unanswered));
    form.Command5.setEnabled(true);
    form.Command2.setEnabled(true);
    // A scheduled burst that failed must not leave the next manual one believing it was
    // scheduled.
    form.autoRun = false;
}

}  // namespace

void burstTimeoutTick(MainForm& form) {
    endBurst(form, {Outcome::NoReply, {}, {}});
}

void endBurstEarly(MainForm& form, OutcomeRecord failure) {
    endBurst(form, std::move(failure));
}

void validityTick(MainForm& form) {
    form.Command6.setEnabled(false);
    form.Timer3->stop();
    form.offsetValid = false;
    form.Text1.setText("");
}

}  // namespace korvel
