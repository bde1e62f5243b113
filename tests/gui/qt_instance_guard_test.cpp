#include "platform/qt/qt_instance_guard.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

namespace korvel {
namespace {

class QtInstanceGuardTest : public ::testing::Test {
protected:
    QTemporaryDir runtime;
    const QString program = QStringLiteral("/opt/korvel/korvel");
};

TEST_F(QtInstanceGuardTest, SecondCopyOfTheSameExecutableIsRefused) {
    QtInstanceGuard first(runtime.path(), program);
    QtInstanceGuard second(runtime.path(), program);
    EXPECT_FALSE(first.anotherCopyRunning());
    EXPECT_TRUE(second.anotherCopyRunning());
    // The first copy keeps its claim when asked again.
    EXPECT_FALSE(first.anotherCopyRunning());
}

TEST_F(QtInstanceGuardTest, AnotherExecutableRunsBeside) {
    QtInstanceGuard first(runtime.path(), program);
    QtInstanceGuard other(runtime.path(), QStringLiteral("/home/user/korvel/korvel"));
    EXPECT_FALSE(first.anotherCopyRunning());
    EXPECT_FALSE(other.anotherCopyRunning());
}

TEST_F(QtInstanceGuardTest, ClaimEndsWithTheCopyThatHeldIt) {
    auto first = std::make_unique<QtInstanceGuard>(runtime.path(), program);
    EXPECT_FALSE(first->anotherCopyRunning());
    first.reset();
    QtInstanceGuard next(runtime.path(), program);
    EXPECT_FALSE(next.anotherCopyRunning());
}

TEST_F(QtInstanceGuardTest, ClaimOfACopyThatCrashedIsTakenOver) {
    QProcess gone;
    gone.start(QStringLiteral("true"));
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 pid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QFile lock(instanceLockPath(runtime.path(), program));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(pid) + "\nkorvel\n\n");
    lock.close();

    QtInstanceGuard next(runtime.path(), program);
    EXPECT_FALSE(next.anotherCopyRunning());
}

TEST_F(QtInstanceGuardTest, RefusedCopyLeavesNoFileBehind) {
    QtInstanceGuard first(runtime.path(), program);
    ASSERT_FALSE(first.anotherCopyRunning());
    const QStringList before = QDir(runtime.path()).entryList(QDir::Files | QDir::Hidden);
    QtInstanceGuard second(runtime.path(), program);
    EXPECT_TRUE(second.anotherCopyRunning());
    EXPECT_EQ(QDir(runtime.path()).entryList(QDir::Files | QDir::Hidden), before);
}

TEST_F(QtInstanceGuardTest, UnwritableFolderDoesNotStopTheProgram) {
    QtInstanceGuard guard(runtime.filePath(QStringLiteral("missing")), program);
    EXPECT_FALSE(guard.anotherCopyRunning());
}

}  // namespace
}  // namespace korvel
