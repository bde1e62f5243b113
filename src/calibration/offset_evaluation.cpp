#include "calibration/offset_evaluation.h"

#include <cmath>
#include <string>

#include "calibration/clock_correction.h"
#include "calibration/outcome_display.h"
#include "calibration/time_sync_log.h"
#include "common/day_date.h"
#include "exchange/burst_supervision.h"
#include "exchange/request_sender.h"
#include "sntp/burst_evaluation.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

// A decision line with what most likely put the clock this far off.
std::string withLikelyCause(const MainForm& form, std::string line) {
    const std::string cause = likelyCauseText(form.offsetSec);
    return cause.empty() ? line : line + "（" + cause + "）";
}

void decideAutomatically(MainForm& form) {
    const SyncSettings& settings = form.settings;
    // An earlier step may still land.
    if (form.stepPending) {
        form.autoRun = false;
        logEvent(form, "   自动校时无法执行");
        return;
    }
    // With a server set the schedule steps only on two servers' word.
    if (form.servers.size() >= 2 && form.lastBurst.agreedServers < 2) {
        form.autoRun = false;
        logEvent(form, withLikelyCause(form, "   自动未校准执行（没有第二台服务器确认）"));
        recordOutcome(form, {Outcome::WithheldNoSecondOpinion, {}, {}});
        return;
    }
    if (settings.limitOn && std::abs(form.offsetSec) >= settings.limitMs / 1000.0) {
        form.autoRun = false;
        logEvent(form, withLikelyCause(form, "   自动未校准执行（时差不小于限制）"));
        recordOutcome(form, {Outcome::WithheldOffsetTooLarge, {}, {}});
        return;
    }
    // The correction writes the decision once the clock has answered.
    form.decisionLine = withLikelyCause(form, settings.limitOn ? "   自动校准执行（时差小于限制）"
                                                               : "   自动校准执行（无时差限制）");
    clockCorrection(form);
}

}  // namespace

void adjust(MainForm& form, const std::int16_t& difIDd) {
    forgetBurst(form);
    burstEnded(form);
    const double resolutionSec =
        static_cast<double>(form.platform.steadyClock.readingResolutionNs()) / 1e9;
    const BurstEvaluation evaluation = evaluateBurst(
        form.replyRecords, difIDd, static_cast<int>(form.servers.size()), resolutionSec);
    form.lastBurst = evaluation.result;
    if (evaluation.outcome != Outcome::Evaluated) {
        recordOutcome(form, {evaluation.outcome,
                             evaluation.outcome == Outcome::ServersDisagree ? serverMedians(form)
                                                                            : std::string(),
                             {}});
        form.Command5.setEnabled(true);
        form.Command2.setEnabled(true);
        form.Timer5->start();
        form.autoRun = false;
        return;
    }

    form.offsetSec = evaluation.result.offsetSec;
    form.offsetWholeSec = evaluation.result.offsetWholeSec;
    form.Command6.setEnabled(!form.stepPending);
    form.Command5.setEnabled(true);
    form.Command2.setEnabled(true);
    form.offsetValid = true;
    form.Timer3->start();
    form.Timer5->start();
    form.lastClockCheck = dayDate(form.platform.localClock.getLocalTime());

    logPlain(form, resultLine(form.offsetSec, form.autoRun));
    recordOutcome(form, {Outcome::Evaluated, {}, serversLeftOut(form)});
    if (form.autoRun) {
        decideAutomatically(form);
    }
}

}  // namespace korvel
