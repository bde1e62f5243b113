#include "platform/qt/qt_instance_guard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

namespace korvel {

QString instanceLockPath(const QString& runtimeFolder, const QString& executablePath) {
    const QString canonical = QFileInfo(executablePath).canonicalFilePath();
    const QByteArray key = QCryptographicHash::hash(
        (canonical.isEmpty() ? executablePath : canonical).toUtf8(), QCryptographicHash::Sha256);
    return QDir(runtimeFolder)
        .filePath(QStringLiteral("korvel-%1.lock").arg(QString::fromLatin1(key.toHex().left(16))));
}

QtInstanceGuard::QtInstanceGuard(const QString& runtimeFolder, const QString& executablePath)
    : m_lock(instanceLockPath(runtimeFolder, executablePath)),
      m_frontSocket(instanceLockPath(runtimeFolder, executablePath) + QStringLiteral(".front")),
      m_hasFolder(!runtimeFolder.isEmpty()) {
    // A lock of a live process never goes stale, however old.
    m_lock.setStaleLockTime(0);
}

bool QtInstanceGuard::anotherCopyRunning() {
    // Without a private folder there is nowhere safe for the lock; the program runs.
    if (!m_hasFolder || m_lock.isLocked() || m_lock.tryLock(0)) {
        return false;
    }
    // A folder we cannot write says nothing about another copy; the program runs.
    return m_lock.error() == QLockFile::LockFailedError;
}

void QtInstanceGuard::listenForFront(std::function<void()> front) {
    if (!m_hasFolder || !m_lock.isLocked()) {
        return;
    }
    // A socket left by a crashed holder of the claim, which is now ours.
    QLocalServer::removeServer(m_frontSocket);
    m_frontServer.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_frontServer.listen(m_frontSocket)) {
        return;
    }
    QObject::connect(&m_frontServer, &QLocalServer::newConnection, &m_frontServer,
                     [this, front = std::move(front)] {
                         while (QLocalSocket* asker = m_frontServer.nextPendingConnection()) {
                             asker->deleteLater();
                             front();
                         }
                     });
}

void QtInstanceGuard::askRunningCopyToFront() {
    if (!m_hasFolder) {
        return;
    }
    QLocalSocket socket;
    socket.connectToServer(m_frontSocket);
    constexpr int kWaitMs = 1000;
    if (socket.waitForConnected(kWaitMs)) {
        socket.disconnectFromServer();
    }
}

}  // namespace korvel
