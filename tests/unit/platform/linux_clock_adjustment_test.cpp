#include "platform/posix/linux_clock_adjustment.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/posix_clock.h"

namespace korvel {
namespace {

// Takes CAP_SYS_TIME out of every set of this process; whether it is gone.
bool dropRightToSetClock() {
    ::prctl(PR_CAPBSET_DROP, CAP_SYS_TIME, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    const unsigned bit = 1u << (CAP_SYS_TIME % 32);
    auto& set = data[CAP_SYS_TIME / 32];
    set.effective &= ~bit;
    set.permitted &= ~bit;
    set.inheritable &= ~bit;
    ::syscall(SYS_capset, &header, data);
    PosixClock clock;
    return !clock.holdsRightToStep() && ::prctl(PR_CAPBSET_READ, CAP_SYS_TIME, 0, 0, 0) == 0;
}

// Every adjustment is refused without the right, said in the user's words; the frequency
// still reads. Run in a child that dropped the right first and checked it gone: this test
// must never adjust the machine's clock.
TEST(LinuxClockAdjustment, RefusesEveryAdjustmentWithoutTheRightToSetTheClock) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!dropRightToSetClock()) {
            ::_exit(2);
        }
        LinuxClockAdjustment adjustment;
        const std::string refusal = "没有调整时钟的权限 (CAP_SYS_TIME)";
        const bool refused = adjustment.setFrequency(1.0) == refusal &&
                             adjustment.slew(0.001) == refusal && adjustment.reset() == refusal;
        ::_exit(refused && adjustment.frequencyPpm().has_value() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 2) << "could not drop CAP_SYS_TIME";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace korvel
