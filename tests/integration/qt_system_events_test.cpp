// The sleep watch against a stand-in for logind on a private bus.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <cstdlib>
#include <vector>

#include "harness/lab.h"
#include "platform/qt/qt_system_events.h"

namespace korvel::lab {
namespace {

// Only the owner of logind's name is heard: the same signal from anyone else is not.
TEST(QtSystemEvents, LogindsPrepareForSleepReportsSuspendingAndResumed) {
    test::TempFolder folder;
    PrivateBus bus(folder.path() / "bus");
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
    const QString address = QString::fromStdString(bus.address());
    QDBusConnection logind = QDBusConnection::connectToBus(address, QStringLiteral("logind"));
    QDBusConnection other = QDBusConnection::connectToBus(address, QStringLiteral("other"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));

    QtSystemEvents watch;
    std::vector<SystemEvent> seen;
    watch.setHandler([&seen](SystemEvent event) { seen.push_back(event); });
    // Said again until heard: the watch's match may reach the bus after the first signals.
    const auto heard = [&seen](QDBusConnection& from, bool starting, int tries) {
        const std::size_t before = seen.size();
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << starting;
        for (int i = 0; i < tries && seen.size() == before; ++i) {
            from.send(signal);
            runUntil([] { return false; }, 100);
        }
        return seen.size() > before;
    };
    ASSERT_TRUE(heard(logind, false, 50));
    EXPECT_FALSE(heard(other, true, 3));
    ASSERT_TRUE(heard(logind, true, 50));
    EXPECT_EQ(seen.front(), SystemEvent::Resumed);
    EXPECT_EQ(seen.back(), SystemEvent::Suspending);
}

}  // namespace
}  // namespace korvel::lab
