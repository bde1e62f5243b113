#include "platform/qt/qt_instance_guard.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace korvel {
namespace {

// A crashed copy's claim is taken over; a second copy of the same executable is refused, leaves
// no file and brings the first to the front; another executable runs beside, and the claim
// ends with its holder.
TEST(QtInstanceGuard, OneCopyPerExecutableHoldsTheClaim) {
    QTemporaryDir runtime;
    const QString program = QStringLiteral("/opt/korvel/korvel");
    const auto files = [&] { return QDir(runtime.path()).entryList(QDir::Files | QDir::Hidden); };
    QProcess gone;
    gone.start(QStringLiteral("true"));
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 pid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QFile lock(instanceLockPath(runtime.path(), program));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(pid) + "\nkorvel\n\n");
    lock.close();

    auto first = std::make_unique<QtInstanceGuard>(runtime.path(), program);
    EXPECT_FALSE(first->anotherCopyRunning());
    int fronts = 0;
    first->listenForFront([&fronts] { ++fronts; });
    const QStringList before = files();
    QtInstanceGuard second(runtime.path(), program);
    EXPECT_TRUE(second.anotherCopyRunning());
    second.askRunningCopyToFront();
    EXPECT_TRUE(QTest::qWaitFor([&fronts] { return fronts == 1; }));
    EXPECT_EQ(files(), before);
    EXPECT_FALSE(first->anotherCopyRunning());  // the claim is kept when asked again
    QtInstanceGuard other(runtime.path(), QStringLiteral("/home/user/korvel/korvel"));
    EXPECT_FALSE(other.anotherCopyRunning());
    first.reset();
    QtInstanceGuard next(runtime.path(), program);
    EXPECT_FALSE(next.anotherCopyRunning());
    // A folder that cannot hold the claim does not stop the program.
    QtInstanceGuard nowhere(runtime.filePath(QStringLiteral("missing")), program);
    EXPECT_FALSE(nowhere.anotherCopyRunning());
}

}  // namespace
}  // namespace korvel
