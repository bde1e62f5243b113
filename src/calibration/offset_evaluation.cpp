#include "calibration/offset_evaluation.h"

#include <string>

#include "calibration/clock_correction.h"
#include "calibration/outcome_display.h"
#include "calibration/time_sync_log.h"
#include "common/day_date.h"
#include "sntp/correction_policy.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

// The schedule's decision as the log says it.
std::string decisionText(CorrectionReason reason) {
    switch (reason) {
        case CorrectionReason::BelowLimit:
            return "   自动校准执行（时差小于限制）";
        case CorrectionReason::NoLimit:
            return "   自动校准执行（无时差限制）";
        case CorrectionReason::NoSecondOpinion:
            return "   自动未校准执行（没有第二台服务器确认）";
        case CorrectionReason::OffsetTooLarge:
            return "   自动未校准执行（时差不小于限制）";
        case CorrectionReason::StepPending:
        case CorrectionReason::UserAsked:
        case CorrectionReason::ServersAgreed:
        case CorrectionReason::OtherTimeService:
        case CorrectionReason::OffsetChanged:
        case CorrectionReason::NtsFailed:
            break;
    }
    return "   自动校时无法执行";
}

void correctOnSchedule(MainForm& form) {
    const CorrectionDecision decision = decideCorrection(correctionInput(
        form, CorrectionRun::Schedule, form.platform.systemClock.competingTimeService()));
    if (decision.reason == CorrectionReason::StepPending) {
        form.autoRun = false;
        logEvent(form, decisionText(decision.reason));
        return;
    }
    // With what most likely put the clock this far off.
    std::string line = decisionText(decision.reason);
    if (const std::string cause = likelyCauseText(form.offsetSec); !cause.empty()) {
        line += "（" + cause + "）";
    }
    if (!decision.step) {
        form.autoRun = false;
        logEvent(form, line);
        recordOutcome(form, {decision.withheld.value_or(Outcome::Evaluated), {}, {}});
        return;
    }
    // The correction writes the decision once the clock has answered.
    form.correction.decisionLine = std::move(line);
    clockCorrection(form);
}

}  // namespace

void adjust(MainForm& form, const OutcomeRecord& evaluation) {
    if (evaluation.outcome != Outcome::Evaluated) {
        recordOutcome(form, evaluation);
        form.Command5.setEnabled(true);
        form.Command2.setEnabled(true);
        form.timers.Timer5->start();
        // A scheduled burst that failed must not leave the next manual one believing it was
        // scheduled.
        form.autoRun = false;
        return;
    }
    form.offsetSec = form.lastBurst.offsetSec;
    form.offsetWholeSec = form.lastBurst.offsetWholeSec;
    form.Command6.setEnabled(!form.correction.stepPending);
    form.Command5.setEnabled(true);
    form.Command2.setEnabled(true);
    form.offsetValid = true;
    form.timers.Timer3->start();
    form.timers.Timer5->start();
    form.lastClockCheck = dayDate(form.platform.localClock.getLocalTime());

    logPlain(form, resultLine(form.offsetSec, form.autoRun));
    recordOutcome(form, evaluation);
    if (form.autoRun) {
        correctOnSchedule(form);
    }
}

}  // namespace korvel
