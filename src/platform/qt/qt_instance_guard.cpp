#include "platform/qt/qt_instance_guard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

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

}  // namespace korvel
