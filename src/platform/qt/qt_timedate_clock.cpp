#include "platform/qt/qt_timedate_clock.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QStandardPaths>
#include <array>
#include <cmath>
#include <optional>

#include "platform/posix/time_services.h"

namespace korvel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.timedate1");
const QString kPath = QStringLiteral("/org/freedesktop/timedate1");
// A question about the machine's state, asked while the user waits: never long.
constexpr int kPropertyTimeoutMs = 2000;

// The units of the time services that keep the clock when active, as Debian names them.
// timedated's NTP says only that one of its listed units is active, and that may be KORVEL's
// own timer.
constexpr std::array kTimeServiceUnits{"chrony.service", "ntpsec.service", "ntp.service",
                                       "openntpd.service", "systemd-timesyncd.service"};

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

const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");

QDBusMessage managerCall(const QString& method) {
    return QDBusMessage::createMethodCall(kSystemd, QStringLiteral("/org/freedesktop/systemd1"),
                                          QStringLiteral("org.freedesktop.systemd1.Manager"),
                                          method);
}

// Whether systemd has the unit active (or starting); nullopt where systemd does not answer.
std::optional<bool> unitActive(QDBusConnection& bus, const QString& unit) {
    QDBusMessage find = managerCall(QStringLiteral("GetUnit"));
    find << unit;
    const QDBusMessage found = bus.call(find, QDBus::Block, kPropertyTimeoutMs);
    if (found.type() != QDBusMessage::ReplyMessage || found.arguments().isEmpty()) {
        if (found.errorName() == QLatin1String("org.freedesktop.systemd1.NoSuchUnit")) {
            return false;  // not loaded
        }
        return std::nullopt;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        kSystemd, found.arguments().constFirst().value<QDBusObjectPath>().path(),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.systemd1.Unit") << QStringLiteral("ActiveState");
    const QString state = bus.call(get, QDBus::Block, kPropertyTimeoutMs)
                              .arguments()
                              .value(0)
                              .value<QDBusVariant>()
                              .variant()
                              .toString();
    return state == QLatin1String("active") || state == QLatin1String("activating") ||
           state == QLatin1String("reloading");
}

// timedated refuses every step while one of its time services is active. Where that is
// KORVEL's own timer, the window's correction becomes a run of it now, where polkit lets this
// user start one; never asking for a password, since the run needs none.
void answerAutomaticSync(std::function<void(ClockStepAnswer)> done) {
    QDBusConnection bus = systemBus();
    if (unitActive(bus, QStringLiteral("korvel-sync.timer")) != true) {
        done(linuxStepAnswer(ClockStep::AutomaticSync));
        return;
    }
    QDBusMessage start = managerCall(QStringLiteral("StartUnit"));
    start << QStringLiteral("korvel-sync-now.service") << QStringLiteral("replace");
    start.setInteractiveAuthorizationAllowed(false);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(start, kPropertyTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [done = std::move(done)](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         const std::string keeps =
                             "定时校准（korvel-sync.timer）正在保持系统时钟，不接受手动校准。";
                         done({ClockStep::AutomaticSync,
                               keeps + (w->isError() ? "如需现在校准，请管理员运行 systemctl start "
                                                       "korvel-sync-now.service。"
                                                     : "已请它现在校准一次，结果见 journalctl -u "
                                                       "korvel-sync。")});
                     });
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
                         if (mapped.outcome == ClockStep::AutomaticSync) {
                             answerAutomaticSync(std::move(done));
                             return;
                         }
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
    if (!bus.isConnected()) {
        return {};
    }
    for (const char* unit : kTimeServiceUnits) {
        const std::optional<bool> active = unitActive(bus, QString::fromLatin1(unit));
        if (!active) {
            break;  // no systemd to ask
        }
        if (*active) {
            return std::string(unit) + " (active unit)";
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
