#include "platform/qt/qt_paths.h"

#include <QCoreApplication>
#include <QDir>

namespace korvel {

std::string executableFolder() {
    return QCoreApplication::applicationDirPath().toStdString();
}

RuntimeFolder privateRuntimeFolder() {
    return choosePrivateFolder(qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString(),
                               QDir::tempPath().toStdString());
}

}  // namespace korvel
