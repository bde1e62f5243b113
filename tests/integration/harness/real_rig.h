#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_timers.h"
#include "platform/qt/qt_udp_socket.h"
#include "support/fake_feedback.h"
#include "ui/form/main_form.h"

namespace korvel::lab {

// The real clock for every reading; a correction is recorded instead of reaching the system.
class RecordingClock final : public SystemClock, public LocalClock {
public:
    SystemTime getSystemTime() override { return m_real.getSystemTime(); }
    SystemTime getLocalTime() override { return m_real.getLocalTime(); }
    void stepClock(double offsetSec, bool interactive,
                   std::function<void(ClockStepAnswer)> done) override;
    bool holdsRightToStep() override { return true; }
    std::string competingTimeService() override { return m_real.competingTimeService(); }

    // The steps asked for, in seconds.
    std::vector<double> corrections;

private:
    PosixClock m_real;
};

// What a burst came to, read the moment the measure button came back.
struct BurstSeen {
    bool ended = false;
    Outcome outcome = Outcome::NoReply;
    double offsetSec = 0.0;
    int replies = 0;
    bool evaluated() const { return ended && outcome == Outcome::Evaluated; }
};

// The program's window state on the real platform: Qt sockets and timers, the real clock
// (corrections recorded), POSIX files in the given folders. Runs in the calling thread's
// network namespace.
class RealRig {
public:
    RealRig(const std::string& programFolder, const std::string& runtimeFolder);

    // The window's load step; false when it refused to start.
    bool startUp();
    // Starts a burst now and waits (16 s at most) until the program is idle again and all
    // requests are out.
    BurstSeen measure();

    RecordingClock clock;
    PosixClock steady;  // read only
    SystemRandom random;
    NoElevatedCorrection elevation;
    NoSystemEvents systemEvents;
    PosixFileSystem files;
    QtUdpSocket socket;
    QtTimerService timers;
    test::ScriptedMessageBox messageBox;
    test::BeepRecorder beeper;
    test::FakeInstanceGuard instanceGuard;
    test::FakeWindows windows;
    test::FakeProgram program;
    std::unique_ptr<MainForm> form;

private:
    BurstSeen m_outcome;
    bool m_watching = false;
    Connection m_burstOver;
};

}  // namespace korvel::lab
