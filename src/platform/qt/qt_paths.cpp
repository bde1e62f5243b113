#include "platform/qt/qt_paths.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStandardPaths>

namespace korvel {

std::string executableFolder() {
    return QCoreApplication::applicationDirPath().toStdString();
}

std::string privateRuntimeFolder() {
    // Without $XDG_RUNTIME_DIR (root on a console, CI) Qt warns before it falls back to a
    // private folder of its own, which is just as good here.
    QLoggingCategory::setFilterRules(QStringLiteral("default.warning=false"));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QLoggingCategory::setFilterRules(QString());
    return folder.toStdString();
}

}  // namespace korvel
