#include "platform/qt/qt_timedate_clock.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QStandardPaths>
#include <cmath>

#include "platform/posix/time_services.h"

namespace korvel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.timedate1");
const QString kPath = QStringLiteral("/org/freedesktop/timedate1");
// A question about the machine's state, asked while the user waits: never long.
constexpr int kPropertyTimeoutMs = 2000;

enum class Answer { Outcome, NoTimeService };

struct Mapped {
    Answer answer;
    ClockStep outcome;
};

Mapped mapError(const QString& name) {
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
        return {Answer::NoTimeService, ClockStep::NoRight};
    }
    if (name == QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired") ||
        name == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
        name == QLatin1String("org.freedesktop.DBus.Error.AuthFailed")) {
        return {Answer::Outcome, ClockStep::NotAuthorised};
    }
    if (name == QLatin1String("org.freedesktop.timedate1.AutomaticTimeSyncEnabled")) {
        return {Answer::Outcome, ClockStep::AutomaticSync};
    }
    // The call may have been carried out; only the answer is missing.
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Disconnected")) {
        return {Answer::Outcome, ClockStep::Unknown};
    }
    return {Answer::Outcome, ClockStep::Rejected};
}

// The system bus on a connection of this program's own. A connection the bus dropped (the bus
// restarted) is given up and made anew, so a correction never falls back to setting the clock
// past timedated merely because the bus went away once.
QDBusConnection systemBus() {
    const QString name = QStringLiteral("korvel-system-bus");
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
    }
    return bus;
}

}  // namespace

QtTimedateClock::QtTimedateClock(PosixClock& direct, int answerTimeoutMs)
    : m_direct(direct), m_answerTimeoutMs(answerTimeoutMs) {}

void QtTimedateClock::stepClock(double offsetSec, bool interactive,
                                std::function<void(ClockStepAnswer)> done) {
    QDBusConnection bus = systemBus();
    if (!bus.isConnected()) {
        done(m_direct.stepDirectly(offsetSec));
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("SetTime"));
    call << static_cast<qlonglong>(std::llround(offsetSec * 1e6)) << true << interactive;
    call.setInteractiveAuthorizationAllowed(interactive);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, m_answerTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [this, offsetSec, done = std::move(done)](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         if (!w->isError()) {
                             done(linuxStepAnswer(ClockStep::Stepped));
                             return;
                         }
                         const Mapped mapped = mapError(w->error().name());
                         done(mapped.answer == Answer::NoTimeService
                                  ? m_direct.stepDirectly(offsetSec)
                                  : linuxStepAnswer(mapped.outcome));
                     });
}

std::string QtTimedateClock::competingTimeService() {
    if (std::string scanned = runningTimeService("/proc"); !scanned.empty()) {
        return scanned;
    }
    QDBusConnection bus = systemBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("GetAll"));
        call << kService;
        const QDBusMessage reply = bus.call(call, QDBus::Block, kPropertyTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
            if (properties.value(QStringLiteral("NTP")).toBool() ||
                properties.value(QStringLiteral("NTPSynchronized")).toBool()) {
                return "systemd-timesyncd";
            }
        }
    }
    return {};
}

std::unique_ptr<QProcess> startPolkitTextAgent() {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("pkttyagent"));
    if (program.isEmpty() || ::isatty(STDIN_FILENO) == 0) {
        return nullptr;
    }
    auto agent = std::make_unique<QProcess>();
    agent->setProcessChannelMode(QProcess::ForwardedChannels);
    agent->setInputChannelMode(QProcess::ForwardedInputChannel);
    agent->start(program,
                 {QStringLiteral("--process"), QString::number(QCoreApplication::applicationPid()),
                  QStringLiteral("--fallback")});
    return agent;
}

}  // namespace korvel
