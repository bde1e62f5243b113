// The clock that steps through systemd-timedated, against a fake timedated on a private bus
// that is restarted between two corrections.

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <optional>
#include <string>

#include "harness/lab_fixture.h"
#include "harness/private_bus.h"
#include "platform/posix/posix_clock.h"
#include "platform/qt/qt_timedate_clock.h"

namespace korvel::lab {
namespace {

// This process gives up the right to set the clock, for good: a fallback to a direct step
// could then never reach the machine's clock.
bool dropClockRight() {
    ::prctl(PR_CAPBSET_DROP, CAP_SYS_TIME, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    data[CAP_SYS_TIME / 32].effective &= ~(1u << (CAP_SYS_TIME % 32));
    data[CAP_SYS_TIME / 32].permitted &= ~(1u << (CAP_SYS_TIME % 32));
    data[CAP_SYS_TIME / 32].inheritable &= ~(1u << (CAP_SYS_TIME % 32));
    return ::syscall(SYS_capset, &header, data) == 0 && !PosixClock().holdsRightToStep();
}

std::optional<ClockStep> stepOnce(QtTimedateClock& clock) {
    std::optional<ClockStep> answer;
    clock.stepClock(1.5, false, [&](ClockStepAnswer a) { answer = a.outcome; });
    QElapsedTimer waited;
    waited.start();
    while (!answer && waited.elapsed() < 10'000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return answer;
}

// The bus went away and came back between two corrections: the second reaches the new bus's
// timedated instead of setting the clock without it.
TEST_F(LabTest, TimedatedOnARestartedBusAnswersTheNextCorrection) {
    ASSERT_TRUE(dropClockRight());
    PosixClock direct;
    QtTimedateClock clock(direct);
    const std::string record = inFolder("settime.calls");
    for (int restart = 0; restart < 2; ++restart) {
        SCOPED_TRACE(restart);
        PrivateBus bus(folder->path() / "bus");
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
        ChildProcess fake("", {KORVEL_TEST_TIMEDATE1, "--bus", bus.address(), "--record", record,
                               "--answer", "success"});
        ASSERT_TRUE(fake.waitReady());
        EXPECT_EQ(stepOnce(clock), ClockStep::Stepped);
        EXPECT_EQ(fileLines(record).size(), static_cast<std::size_t>(restart + 1));
    }
}

}  // namespace
}  // namespace korvel::lab
