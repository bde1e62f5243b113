#include "calibration/clock_correction.h"

#include <string>
#include <utility>

#include "calibration/outcome_display.h"
#include "calibration/time_service_notice.h"
#include "calibration/time_sync_log.h"
#include "common/day_date.h"
#include "exchange/request_sender.h"
#include "settings/lifecycle.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

Outcome outcomeOf(ClockStep step) {
    switch (step) {
        case ClockStep::Stepped:
            return Outcome::Stepped;
        case ClockStep::Unknown:
            return Outcome::StepUnknown;
        case ClockStep::NotAuthorised:
        case ClockStep::AutomaticSync:
        case ClockStep::NoRight:
        case ClockStep::Rejected:
            break;
    }
    return Outcome::StepRefused;
}

constexpr int kCorrectionWaitMs = 5 * 60 * 1000;

void finishCorrection(MainForm& form, ClockStepAnswer answer, std::string notice, bool scheduled) {
    form.correcting = false;
    form.correctionWaitTimer->stop();
    const Outcome outcome = outcomeOf(answer.outcome);
    if (outcome != Outcome::Stepped) {
        logPlain(form, outcomeText(outcome));
        // The server clock shown would be the local clock in white, as if all were well.
        form.offsetValid = false;
        form.Text1.setText("");
    }
    recordOutcome(form, {outcome, std::move(answer.reason), std::move(notice)});
    form.Command5.setEnabled(true);
    form.Command6.setEnabled(false);
    form.Command2.setEnabled(true);
    form.Timer3->stop();
    form.offsetSec = 0.0;
    form.offsetWholeSec = 0.0;
    form.lastClockCheck = dayDate(form.platform.localClock.getLocalTime());
    form.Timer5->start();
    form.Text3.setForeColor(kGrey);
    if (!form.decisionLine.empty()) {
        logEvent(form, form.decisionLine);
        form.decisionLine.clear();
    }
    if (scheduled && answer.outcome == ClockStep::NotAuthorised) {
        showAfterHandler(form, kScheduledRefusalNotice);
    }
    if (form.closeWhenCorrected) {
        shutDown(form);
        endProgramNow(form);
    }
}

}  // namespace

void clockCorrection(MainForm& form) {
    form.Timer5->stop();
    const bool scheduled = form.autoRun;
    forgetBurst(form);
    if (form.autoRun) {
        form.autoRun = false;
        logEvent(form, "   校准(自动)");
    } else {
        logEvent(form, "   校准");
    }
    std::string notice = competingTimeServiceNotice(form);
    // Until the clock answers no burst or second correction may start; the display goes on.
    form.correcting = true;
    form.Command5.setEnabled(false);
    form.Command6.setEnabled(false);
    form.Command2.setEnabled(false);
    form.Timer3->stop();
    form.Timer5->start();
    // The window waits five minutes (a password may be typed meanwhile); an answer that comes
    // later still ends the wait for the step, which may land until then.
    form.correctionWaitTimer->setInterval(kCorrectionWaitMs);
    form.correctionWaitTimer->setTickHandler([&form, notice, scheduled] {
        form.stepPending = true;
        finishCorrection(form, {ClockStep::Unknown, kNoAnswerYetReason}, notice, scheduled);
    });
    form.correctionWaitTimer->start();
    form.platform.systemClock.stepClock(
        form.offsetSec, !scheduled,
        [&form, notice = std::move(notice), scheduled](ClockStepAnswer answer) mutable {
            if (form.stepPending) {
                form.stepPending = false;
                recordLateAnswer(form, answer);
                return;
            }
            finishCorrection(form, std::move(answer), std::move(notice), scheduled);
        });
}

}  // namespace korvel
