#include "platform/qt/qt_program_launcher.h"

#include <QProcess>
#include <QString>

namespace korvel {

bool QtProgramLauncher::start(const std::string& path) {
    return !path.empty() && QProcess::startDetached(QString::fromStdString(path), {});
}

}  // namespace korvel
