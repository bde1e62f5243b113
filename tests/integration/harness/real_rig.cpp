#include "harness/real_rig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <chrono>

#include "calibration/measure_command.h"
#include "common/day_date.h"
#include "settings/lifecycle.h"

namespace korvel::lab {

namespace {

using Clock = std::chrono::steady_clock;

class TimingTimer final : public Timer {
public:
    TimingTimer(std::unique_ptr<Timer> inner, std::vector<TimingTimerService::Lateness>& table,
                std::size_t index)
        : m_inner(std::move(inner)), m_table(table), m_index(index) {
        m_inner->setTickHandler([this] {
            const auto now = Clock::now();
            const double elapsedMs =
                std::chrono::duration<double, std::milli>(now - m_since).count();
            auto& entry = m_table[m_index];
            ++entry.ticks;
            entry.worstMs = std::max(entry.worstMs, elapsedMs - m_inner->interval());
            m_since = now;
            if (m_handler) {
                m_handler();
            }
        });
    }
    void setInterval(int intervalMs) override {
        m_since = Clock::now();
        m_inner->setInterval(intervalMs);
    }
    int interval() const override { return m_inner->interval(); }
    void start() override {
        if (!m_inner->isRunning()) {
            m_since = Clock::now();
        }
        m_inner->start();
    }
    void stop() override { m_inner->stop(); }
    bool isRunning() const override { return m_inner->isRunning(); }
    void setTickHandler(std::function<void()> handler) override { m_handler = std::move(handler); }

private:
    std::unique_ptr<Timer> m_inner;
    std::vector<TimingTimerService::Lateness>& m_table;
    std::size_t m_index;
    std::function<void()> m_handler;
    Clock::time_point m_since = Clock::now();
};

}  // namespace

void RecordingClock::stepClock(double offsetSec, bool, std::function<void(ClockStepAnswer)> done) {
    corrections.push_back(offsetSec);
    done(linuxStepAnswer(acceptSets ? ClockStep::Stepped : ClockStep::NoRight));
}

std::unique_ptr<Timer> TimingTimerService::createTimer(TimerPrecision precision) {
    lateness.emplace_back();
    return std::make_unique<TimingTimer>(m_qt.createTimer(precision), lateness,
                                         lateness.size() - 1);
}

RealRig::RealRig(const std::string& programFolder, const std::string& runtimeFolder)
    : files(programFolder, {runtimeFolder, {}}) {
    form =
        std::make_unique<MainForm>(Platform{clock, clock, socket, timers, files, messageBox, beeper,
                                            instanceGuard, windows, program, steady, random});
    // The burst's outcome, and the message the window shows for it.
    m_burstOver = form->outcomeRecorded.connect([this] {
        if (!m_watching || isCorrectionOutcome(form->lastOutcome.outcome)) {
            return;
        }
        m_watching = false;
        m_outcome.ended = true;
        m_outcome.evaluated = form->lastOutcome.outcome == korvel::Outcome::Evaluated;
        m_outcome.offsetSec = form->lastBurst.offsetSec;
        m_outcome.replies = form->lastBurst.counted;
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

BurstSeen RealRig::measure(int deadlineMs) {
    watch();
    measureCommand(*form);
    return waitForBurst(deadlineMs);
}

BurstSeen RealRig::waitForBurst(int deadlineMs) {
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
