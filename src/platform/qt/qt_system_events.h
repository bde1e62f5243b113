#pragma once

#include <QDBusUnixFileDescriptor>
#include <QNetworkInformation>
#include <QObject>
#include <functional>

#include "platform/system_events.h"

namespace korvel {

// logind's PrepareForSleep on the system bus (DBUS_SYSTEM_BUS_ADDRESS), from logind alone, and
// the reachability Qt's network information gives. A delay lock on sleep, let go once
// Suspending is reported, makes sure that report comes before the machine sleeps. Without a
// bus, logind or a network information backend, that part reports nothing. Needs a
// QCoreApplication.
class QtSystemEvents final : public QObject, public SystemEventWatch {
    Q_OBJECT

public:
    QtSystemEvents();
    void setHandler(std::function<void(SystemEvent)> handler) override;

private Q_SLOTS:
    void prepareForSleep(bool starting);

private:
    enum class Network { NotKnown, Down, Up };
    void takeSleepLock();
    void reachabilityChanged(QNetworkInformation::Reachability reachability);
    void report(SystemEvent event) const;

    std::function<void(SystemEvent)> m_handler;
    QDBusUnixFileDescriptor m_sleepLock;  // sleep waits (a few seconds at most) while it is open
    Network m_network = Network::NotKnown;
};

}  // namespace korvel
