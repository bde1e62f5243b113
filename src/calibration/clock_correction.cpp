#include "calibration/clock_correction.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "calibration/lifecycle.h"
#include "calibration/outcome_display.h"
#include "calibration/time_sync_log.h"
#include "common/day_date.h"
#include "common/utf8_text.h"
#include "exchange/clock_step.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

// How the elevated tool's run ended, in the window's outcomes: a measurement of its own that
// failed, or found another offset than the one agreed to, is a correction that failed, for
// that reason.
OutcomeRecord elevatedOutcome(const ElevatedRun& run, double agreedOffsetSec) {
    const std::optional<Outcome> told = outcomeOfExitStatus(run.exitStatus);
    if (told == Outcome::Stepped) {
        return {Outcome::Stepped, {}, {}};
    }
    if (told == Outcome::WithheldOffsetChanged) {
        return {Outcome::StepRefused,
                "以管理员身份运行的 korvel-cli 重新测得的时差与您同意校准的" +
                    offsetDisplayText(agreedOffsetSec) + "不符，时钟没有校准。",
                {}};
    }
    if (told == Outcome::ConsentRefused || told == Outcome::StepUnknown) {
        return {*told, run.reason.empty() ? outcomeText(*told) : run.reason, {}};
    }
    if (!run.reason.empty()) {
        return {Outcome::StepRefused, run.reason, {}};
    }
    const std::string said = told ? outcomeText(*told) : std::string();
    return {Outcome::StepRefused,
            "以管理员身份运行的 korvel-cli 没有校准时钟：" +
                (said.empty() || told == Outcome::StepRefused
                     ? "退出状态 " + std::to_string(run.exitStatus)
                     : said),
            {}};
}

void finishCorrection(MainForm& form, OutcomeRecord record, bool scheduledRefusal) {
    form.correction.correcting = false;
    form.timers.correctionWaitTimer->stop();
    const Outcome outcome = record.outcome;
    if (outcome != Outcome::Stepped) {
        logPlain(form, outcomeText(outcome));
        // The server clock shown would be the local clock in white, as if all were well.
        form.offsetValid = false;
        form.Text1.setText("");
    }
    recordOutcome(form, std::move(record));
    form.Command5.setEnabled(true);
    form.Command6.setEnabled(false);
    form.Command2.setEnabled(true);
    form.timers.Timer3->stop();
    form.offsetSec = 0.0;
    form.offsetWholeSec = 0.0;
    form.lastClockCheck = dayDate(form.platform.localClock.getLocalTime());
    form.timers.Timer5->start();
    form.Text3.setForeColor(kGrey);
    if (!form.correction.decisionLine.empty()) {
        logEvent(form, form.correction.decisionLine);
        form.correction.decisionLine.clear();
    }
    if (scheduledRefusal) {
        showAfterHandler(form, kScheduledRefusalNotice);
    }
    if (form.correction.closeWhenCorrected) {
        shutDown(form);
        endProgramNow(form);
    }
}

}  // namespace

CorrectionInput correctionInput(MainForm& form, CorrectionRun run,
                                const std::string& otherTimeService) {
    return {.run = run,
            .offsetSec = form.offsetSec,
            .serversListed = static_cast<int>(form.servers.size()),
            .agreedServers = form.lastBurst.agreedServers,
            .limitOn = form.settings.limitOn,
            .limitMs = form.settings.limitMs,
            .stepPending = form.correction.stepPending,
            .holdsRightToStep = form.platform.systemClock.holdsRightToStep(),
            .elevationNeeded = form.platform.elevation.needed(),
            .otherTimeService = !otherTimeService.empty()};
}

void clockCorrection(MainForm& form) {
    form.timers.Timer5->stop();
    const bool scheduled = form.autoRun;
    // Another time service may undo the step; the correction goes ahead either way.
    const std::string service = form.platform.systemClock.competingTimeService();
    const CorrectionDecision how = decideCorrection(correctionInput(
        form, scheduled ? CorrectionRun::Schedule : CorrectionRun::ByHand, service));
    if (form.autoRun) {
        form.autoRun = false;
        logEvent(form, "   校准(自动)");
    } else {
        logEvent(form, "   校准");
    }
    std::string notice = service.empty() ? std::string() : competingServiceNotice(service);
    // Until the clock answers no burst or second correction may start; the display goes on.
    form.correction.correcting = true;
    form.Command5.setEnabled(false);
    form.Command6.setEnabled(false);
    form.Command2.setEnabled(false);
    form.timers.Timer3->stop();
    form.timers.Timer5->start();
    // The window waits five minutes (a password may be typed meanwhile); an answer that comes
    // later still ends the wait for the step, which may land until then.
    form.timers.correctionWaitTimer->setInterval(kCorrectionWaitMs);
    form.timers.correctionWaitTimer->setTickHandler([&form, notice] {
        form.correction.stepPending = true;
        finishCorrection(form, {Outcome::StepUnknown, kNoAnswerYetReason, notice}, false);
    });
    form.timers.correctionWaitTimer->start();
    // An answer after the wait only ends the wait for the step.
    const auto answered = [&form](const ClockStepAnswer& answer) {
        if (!form.correction.stepPending) {
            return false;
        }
        form.correction.stepPending = false;
        recordLateAnswer(form, answer);
        return true;
    };
    // Without the right the tool measures and steps with it, once the user has consented.
    if (how.via == StepVia::ElevatedTool) {
        std::vector<std::string> servers;
        for (const std::string& server : form.servers) {
            servers.push_back(trimBlanks(server));
        }
        form.platform.elevation.correct(
            servers, form.offsetSec,
            [&form, notice = std::move(notice), answered,
             agreedSec = form.offsetSec](ElevatedRun run) mutable {
                OutcomeRecord record = elevatedOutcome(run, agreedSec);
                if (answered({record.outcome == Outcome::Stepped ? ClockStep::Stepped
                                                                 : ClockStep::Rejected,
                              record.cause})) {
                    return;
                }
                record.notice = std::move(notice);
                finishCorrection(form, std::move(record), false);
            });
        return;
    }
    form.platform.systemClock.stepClock(
        form.offsetSec, how.interactive,
        [&form, notice = std::move(notice), scheduled, answered](ClockStepAnswer answer) mutable {
            if (answered(answer)) {
                return;
            }
            const bool refusedUnasked = scheduled && answer.outcome == ClockStep::NotAuthorised;
            finishCorrection(
                form, {stepOutcome(answer.outcome), std::move(answer.reason), std::move(notice)},
                refusedUnasked);
        });
}

}  // namespace korvel
