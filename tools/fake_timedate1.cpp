// A stand-in for systemd-timedated on a private bus: answers SetTime as told and records each
// call, so that tests never reach the machine's real time service. It also answers for
// systemd what is asked of units: the ones named active, every other one not loaded.
//
//   korvel-test-timedate1 --bus ADDRESS --record FILE
//       [--answer success|interactive-required|denied|auto-sync|vanish] [--delay-ms N]
//       [--ntp 0|1] [--synchronized 0|1] [--active-units UNIT,UNIT...] [--start-unit denied]
//
// Each SetTime call appends "usec relative interactive allow-interactive" to FILE before it
// is answered, each StartUnit "StartUnit UNIT allow-interactive". "vanish" leaves the bus without
// answering. Prints "ready" once the names are owned.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QTimer>
#include <cstdio>
#include <fstream>

#include "tool_options.h"

namespace {

using korvel::tools::Options;

const QString kName = QStringLiteral("org.freedesktop.timedate1");

class FakeTimedate final : public QDBusVirtualObject {
public:
    explicit FakeTimedate(const Options& options) : m_options(options) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == QLatin1String("SetTime")) {
            setTime(message, connection);
        } else if (message.member() == QLatin1String("GetAll")) {
            QVariantMap properties{
                {QStringLiteral("NTP"), m_options.number("ntp", 0) != 0},
                {QStringLiteral("NTPSynchronized"), m_options.number("synchronized", 0) != 0}};
            connection.send(message.createReply(QVariant::fromValue(properties)));
        } else {
            connection.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), message.member()));
        }
        return true;
    }

private:
    void setTime(const QDBusMessage& message, const QDBusConnection& connection) {
        const QList<QVariant> args = message.arguments();
        {
            std::ofstream record(m_options.text("record", "/dev/null"), std::ios::app);
            record << args.value(0).toLongLong() << ' ' << args.value(1).toBool() << ' '
                   << args.value(2).toBool() << ' ' << message.isInteractiveAuthorizationAllowed()
                   << '\n';
        }
        const std::string answer = m_options.text("answer", "success");
        if (answer == "vanish") {
            std::_Exit(0);
        }
        QDBusMessage reply = message.createReply();
        if (answer == "interactive-required") {
            reply = message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"),
                QStringLiteral("Interactive authentication required."));
        } else if (answer == "denied") {
            reply =
                message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                         QStringLiteral("Access denied"));
        } else if (answer == "auto-sync") {
            reply = message.createErrorReply(
                QStringLiteral("org.freedesktop.timedate1.AutomaticTimeSyncEnabled"),
                QStringLiteral("Automatic time synchronization is enabled"));
        }
        QTimer::singleShot(static_cast<int>(m_options.number("delay-ms", 0)),
                           [connection, reply] { connection.send(reply); });
    }

    const Options& m_options;
};

// systemd's manager and its units: GetUnit finds an active unit's object, whose ActiveState
// is "active".
class FakeSystemd final : public QDBusVirtualObject {
public:
    explicit FakeSystemd(const Options& options)
        : m_options(options),
          m_active(QString::fromStdString(options.text("active-units", ""))
                       .split(QLatin1Char(','), Qt::SkipEmptyParts)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString unit = message.arguments().value(0).toString();
        if (message.member() == QLatin1String("GetUnit") && m_active.contains(unit)) {
            connection.send(message.createReply(QVariant::fromValue(
                QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/unit/") +
                                QString::number(m_active.indexOf(unit))))));
        } else if (message.member() == QLatin1String("GetUnit")) {
            connection.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"), unit));
        } else if (message.member() == QLatin1String("StartUnit")) {
            std::ofstream(m_options.text("record", "/dev/null"), std::ios::app)
                << "StartUnit " << unit.toStdString() << ' '
                << message.isInteractiveAuthorizationAllowed() << '\n';
            connection.send(
                m_options.text("start-unit", "") == "denied"
                    ? message.createErrorReply(
                          QStringLiteral(
                              "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"),
                          QStringLiteral("Interactive authentication required."))
                    : message.createReply(QVariant::fromValue(
                          QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/job/1")))));
        } else if (message.member() == QLatin1String("Get") &&
                   message.arguments().value(1).toString() == QLatin1String("ActiveState")) {
            connection.send(
                message.createReply(QVariant::fromValue(QDBusVariant(QStringLiteral("active")))));
        } else {
            connection.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), message.member()));
        }
        return true;
    }

private:
    const Options& m_options;
    QStringList m_active;
};

}  // namespace

int main(int argc, char** argv) {
    const Options options(argc, argv);
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::connectToBus(
        QString::fromStdString(options.text("bus", "")), QStringLiteral("fake"));
    FakeTimedate object(options);
    FakeSystemd systemd(options);
    if (!bus.isConnected() ||
        !bus.registerVirtualObject(QStringLiteral("/org/freedesktop/timedate1"), &object) ||
        !bus.registerVirtualObject(QStringLiteral("/org/freedesktop/systemd1"), &systemd,
                                   QDBusConnection::SubPath) ||
        !bus.registerService(kName) ||
        !bus.registerService(QStringLiteral("org.freedesktop.systemd1"))) {
        std::fprintf(stderr, "cannot serve %s on the bus\n", qPrintable(kName));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
