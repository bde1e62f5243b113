#include "platform/qt/qt_system_events.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <utility>

namespace korvel {

namespace {

const QString kBusName = QStringLiteral("korvel-system-events");
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");

}  // namespace

QtSystemEvents::QtSystemEvents() {
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, kBusName);
    // Naming the service: anyone on the bus may send a signal that looks like logind's.
    bus.connect(kLogind, kLogindPath, kLogindManager, QStringLiteral("PrepareForSleep"), this,
                SLOT(prepareForSleep(bool)));
    takeSleepLock();

    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        QNetworkInformation* information = QNetworkInformation::instance();
        reachabilityChanged(information->reachability());
        connect(information, &QNetworkInformation::reachabilityChanged, this,
                &QtSystemEvents::reachabilityChanged);
    }
}

void QtSystemEvents::setHandler(std::function<void(SystemEvent)> handler) {
    m_handler = std::move(handler);
}

void QtSystemEvents::prepareForSleep(bool starting) {
    report(starting ? SystemEvent::Suspending : SystemEvent::Resumed);
    if (starting) {
        m_sleepLock = QDBusUnixFileDescriptor();
    } else {
        takeSleepLock();
    }
}

void QtSystemEvents::takeSleepLock() {
    QDBusMessage call = QDBusMessage::createMethodCall(kLogind, kLogindPath, kLogindManager,
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("KORVEL")
         << QStringLiteral("睡眠前暂停自动校时") << QStringLiteral("delay");
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection(kBusName).asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *answered;
                // Without logind or its consent the report may come after the wake instead.
                if (reply.isValid()) {
                    m_sleepLock = reply.value();
                }
            });
}

void QtSystemEvents::reachabilityChanged(QNetworkInformation::Reachability reachability) {
    using Reachability = QNetworkInformation::Reachability;
    if (reachability == Reachability::Unknown) {
        return;
    }
    // Local alone reaches no server beyond the link.
    const bool up = reachability == Reachability::Site || reachability == Reachability::Online;
    if (up && m_network == Network::Down) {
        report(SystemEvent::NetworkUp);
    }
    m_network = up ? Network::Up : Network::Down;
}

void QtSystemEvents::report(SystemEvent event) const {
    if (m_handler) {
        m_handler(event);
    }
}

}  // namespace korvel
