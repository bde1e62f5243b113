// main() of the lab suites: an event loop for the Qt platform, and a mount namespace of the
// test's own so that the file cases' mounts vanish with the process.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QCoreApplication>

#include "support/system_bus_guard.h"

int main(int argc, char** argv) {
    // Before any thread exists. Without root the tests themselves fail and say why.
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0) {
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new korvel::test::SystemBusGuard);
    return RUN_ALL_TESTS();
}
