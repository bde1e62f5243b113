// The sleep watch against a stand-in for logind on a private bus.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>
#include <vector>

#include "harness/private_bus.h"
#include "platform/qt/qt_system_events.h"
#include "support/temp_folder.h"

namespace korvel::lab {
namespace {

void sendPrepareForSleep(QDBusConnection& from, bool starting) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"));
    signal << starting;
    from.send(signal);
}

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
    const auto pump = [](int ms) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(5);
        }
    };
    // The match may reach the bus after the first signals: said again until heard.
    const auto hear = [&](bool starting) {
        const std::size_t before = seen.size();
        for (int tries = 0; seen.size() == before && tries < 50; ++tries) {
            sendPrepareForSleep(logind, starting);
            pump(100);
        }
        pump(300);
    };
    hear(false);
    const std::size_t heard = seen.size();
    sendPrepareForSleep(other, true);
    pump(300);
    EXPECT_EQ(seen.size(), heard);
    hear(true);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), SystemEvent::Resumed);
    EXPECT_EQ(seen.back(), SystemEvent::Suspending);
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

}  // namespace
}  // namespace korvel::lab
