#pragma once

#include <QProcess>
#include <memory>

#include "platform/clock.h"
#include "platform/posix/posix_clock.h"

namespace korvel {

// Steps the clock through systemd-timedated on the system bus, where polkit decides who may;
// the process itself needs no right. Without a system bus or timedated the POSIX clock steps
// directly, which works only for a process holding CAP_SYS_TIME. Readings come from the POSIX
// clock. Needs a running Qt event loop for the answer.
class QtTimedateClock final : public SystemClock {
public:
    // The call is given up only after half an hour: until its answer the step may still land
    // (a password dialog may stay open), and the caller refuses another step meanwhile.
    static constexpr int kDefaultAnswerTimeoutMs = 30 * 60 * 1000;

    explicit QtTimedateClock(PosixClock& direct, int answerTimeoutMs = kDefaultAnswerTimeoutMs);

    SystemTime getSystemTime() override { return m_direct.getSystemTime(); }
    // Hands timedated the offset in microseconds as a relative change, so time spent on a
    // password dialog does not make the result wrong.
    void stepClock(double offsetSec, bool interactive,
                   std::function<void(ClockStepAnswer)> done) override;
    bool holdsRightToStep() override { return m_direct.holdsRightToStep(); }
    // A time service among the processes, which keeps the clock whatever timedated says (one
    // it does not manage, or one not yet synchronised); else an active unit of a known time
    // service, as systemd tells. Never timedated's NTP or NTPSynchronized: with KORVEL's timer
    // as timedated's time service both are on for the keeper itself.
    std::string competingTimeService() override;

private:
    PosixClock& m_direct;
    int m_answerTimeoutMs;
};

// polkit's text agent for this process, so that a step asked for on a terminal can be agreed to
// there; with --fallback it stands aside for an agent the desktop session already has. Null
// where standard input is no terminal or the agent is not installed.
std::unique_ptr<QProcess> startPolkitTextAgent();

}  // namespace korvel
