#include "harness/real_rig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include "calibration/measure_command.h"
#include "settings/lifecycle.h"

namespace korvel::lab {

void RecordingClock::stepClock(double offsetSec, bool, std::function<void(ClockStepAnswer)> done) {
    corrections.push_back(offsetSec);
    done(linuxStepAnswer(ClockStep::Stepped));
}

RealRig::RealRig(const std::string& programFolder, const std::string& runtimeFolder)
    : files(programFolder, {runtimeFolder, {}}) {
    form = std::make_unique<MainForm>(Platform{clock, clock, socket, timers, files, messageBox,
                                               beeper, instanceGuard, windows, program, steady,
                                               random, elevation, systemEvents});
    // The burst's outcome as recorded on the form.
    m_burstOver = form->outcomeRecorded.connect([this] {
        if (!m_watching || isCorrectionOutcome(form->lastOutcome.outcome)) {
            return;
        }
        m_watching = false;
        m_outcome = {true, form->lastOutcome.outcome, form->lastBurst.offsetSec,
                     form->lastBurst.counted};
    });
}

bool RealRig::startUp() {
    return korvel::startUp(*form);
}

BurstSeen RealRig::measure() {
    m_outcome = {};
    m_watching = true;
    measureCommand(*form);
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < 16'000 && (!m_outcome.ended || form->Timer1->isRunning())) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    // Late replies and duplicates still arrive; they must change nothing.
    for (elapsed.restart(); elapsed.elapsed() < 300;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    m_watching = false;
    return m_outcome;
}

}  // namespace korvel::lab
