#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <functional>

#include "platform/user_feedback.h"

namespace korvel {

// One running copy per executable: a lock file in the user's runtime folder, named after the
// executable's path. The lock is the kernel's, so it vanishes with the process that held it.
class QtInstanceGuard final : public InstanceGuard {
public:
    QtInstanceGuard(const QString& runtimeFolder, const QString& executablePath);
    // Claims the lock when it is free; a copy that holds the claim answers false again.
    bool anotherCopyRunning() override;
    // The copy that holds the claim runs front whenever a later copy asks it to come to the
    // front, through a local socket beside the lock.
    void listenForFront(std::function<void()> front);
    // Asks the copy that holds the claim to come to the front; nothing when none listens.
    void askRunningCopyToFront();

private:
    QLockFile m_lock;
    QString m_frontSocket;
    QLocalServer m_frontServer;
    bool m_hasFolder;
};

// The lock file of an executable in a folder.
QString instanceLockPath(const QString& runtimeFolder, const QString& executablePath);

}  // namespace korvel
