#include "exchange/burst_supervision.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "calibration/offset_evaluation.h"
#include "calibration/outcome_display.h"
#include "common/day_date.h"
#include "common/utf8_text.h"
#include "exchange/request_sender.h"
#include "sntp/burst_evaluation.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr int kLeastQuietMs = 1000;
constexpr double kQuietDelays = 3.0;

double localDayDate(MainForm& form) {
    return dayDate(form.platform.localClock.getLocalTime());
}

bool noServerLeft(const MainForm& form) {
    return form.rotation.inRotation() == 0 && !form.rotation.anyLookingUp();
}

// Why no server answered, server by server: a refusal, a name not found, no route, silence.
// A server that refused after some replies is named too.
// The outcome is a refusal where a server refused, else a look-up failure where a name was not
// found, else no reply.
OutcomeRecord withoutServers(const MainForm& form) {
    std::string cause;
    bool refused = false;
    bool named = false;
    for (int i = 0; i < form.rotation.size(); ++i) {
        const ServerTally& tally = form.rotation.tally(i);
        refused = refused || tally.status == ServerStatus::KissOfDeath;
        named = named || tally.status == ServerStatus::NotFound;
        if (tally.replies == 0 || tally.status == ServerStatus::KissOfDeath) {
            cause += (cause.empty() ? "" : "\n") +
                     unreachedText(trimBlanks(form.servers[static_cast<std::size_t>(i)]), tally);
        }
    }
    if (refused && noServerLeft(form)) {
        return {Outcome::RefusedByServer, cause, {}};
    }
    return {named ? Outcome::NameNotResolved : Outcome::NoReply, cause, {}};
}

void endBurst(MainForm& form, OutcomeRecord unanswered) {
    form.Timer2->stop();
    form.quietTimer->stop();
    forgetBurst(form);
    burstEnded(form);
    form.platform.beeper.beep();
    form.Timer5->start();
    form.lastClockCheck = localDayDate(form);
    if (form.repliesReceived >= kFewestEvaluatedReplies) {
        adjust(form, form.repliesReceived);
        form.lastClockCheck = localDayDate(form);
        return;
    }
    if (form.repliesReceived > 0 && unanswered.outcome != Outcome::RefusedByServer) {
        unanswered = {Outcome::TooFewReplies, {}, {}};
    }
    recordOutcome(form, std::move(unanswered));
    form.Command5.setEnabled(true);
    form.Command2.setEnabled(true);
    // A scheduled burst that failed must not leave the next manual one believing it was
    // scheduled.
    form.autoRun = false;
}

// Every request to a server still asked has been answered: nothing more is awaited.
bool nothingAwaited(const MainForm& form) {
    for (int i = 0; i < form.rotation.size(); ++i) {
        const ServerTally& tally = form.rotation.tally(i);
        if (tally.status == ServerStatus::LookingUp ||
            (tally.status == ServerStatus::InRotation && tally.replies < tally.requests)) {
            return false;
        }
    }
    return true;
}

void restartQuietTimer(MainForm& form) {
    const auto quietMs = static_cast<int>(std::ceil(form.largestDelaySec * kQuietDelays * 1000));
    form.quietTimer->stop();
    form.quietTimer->setInterval(std::max(kLeastQuietMs, quietMs));
    form.quietTimer->start();
}

}  // namespace

void burstTimeoutTick(MainForm& form) {
    endBurst(form, withoutServers(form));
}

void requestsOut(MainForm& form) {
    form.Timer1->stop();
    if (!form.requestsOut) {
        form.requestsOut = true;
        replyCounted(form);
    }
}

void replyCounted(MainForm& form) {
    if (!form.requestsOut) {
        return;
    }
    // The replies have stopped when nothing more is awaited, else after a quiet while.
    if (form.repliesReceived >= kFewestEvaluatedReplies && nothingAwaited(form)) {
        endBurst(form, withoutServers(form));
    } else {
        restartQuietTimer(form);
    }
}

void quietTick(MainForm& form) {
    form.quietTimer->stop();
    if (form.repliesReceived >= kFewestEvaluatedReplies || noServerLeft(form)) {
        endBurst(form, withoutServers(form));
    }
}

void serverLeft(MainForm& form) {
    if (!noServerLeft(form)) {
        return;
    }
    if (form.repliesReceived >= kFewestEvaluatedReplies) {
        requestsOut(form);
    } else {
        endBurst(form, withoutServers(form));
    }
}

void burstEnded(MainForm& form) {
    form.burstClockTimer->stop();
    form.StatusBar1.setPanel(2, form.stepPending ? kStepPendingText : "");
}

void validityTick(MainForm& form) {
    form.Command6.setEnabled(false);
    form.Timer3->stop();
    form.offsetValid = false;
    form.Text1.setText("");
}

}  // namespace korvel
