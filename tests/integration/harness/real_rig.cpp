#include "harness/real_rig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include "calibration/measure_command.h"
#include "common/day_date.h"
#include "settings/lifecycle.h"

namespace korvel::lab {

namespace {

double unixSeconds(const SystemTime& utc) {
    return ntpSeconds(utc) - 2208988800.0;
}

}  // namespace

bool RecordingClock::setSystemTime(const SystemTime& utc) {
    corrections.push_back(unixSeconds(utc) - unixSeconds(m_real.getSystemTime()));
    return acceptSets;
}

RealRig::RealRig(const std::string& programFolder, const std::string& runtimeFolder)
    : files(programFolder, runtimeFolder) {
    form = std::make_unique<MainForm>(Platform{clock, clock, socket, timers, files, messageBox,
                                               beeper, instanceGuard, windows, program});
    // The measure button comes back exactly when a burst is over.
    form->Command5.changed.connect([this] {
        if (!m_watching || !form->Command5.isEnabled()) {
            return;
        }
        m_watching = false;
        m_outcome.ended = true;
        // The measure command empties the offset box; only an evaluation fills it again.
        m_outcome.evaluated = !form->Text3.text().empty();
        m_outcome.offsetSec = form->offsetSec;
        m_outcome.replies = form->evaluatedReplies;
        m_outcome.text1 = form->Text1.text();
    });
}

bool RealRig::startUp() {
    return korvel::startUp(*form);
}

void RealRig::watch() {
    m_outcome = {};
    m_watching = true;
}

Outcome RealRig::measure(int deadlineMs) {
    watch();
    measureCommand(*form);
    return waitForBurst(deadlineMs);
}

Outcome RealRig::waitForBurst(int deadlineMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < deadlineMs && (!m_outcome.ended || form->Timer1->isRunning())) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    // Late replies and duplicates still arrive; they must change nothing.
    pump(300);
    m_watching = false;
    return m_outcome;
}

void RealRig::pump(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                        static_cast<int>(ms - elapsed.elapsed()));
    }
}

}  // namespace korvel::lab
