#include "ui/qt/secondary_windows.h"

#include <QMessageBox>
#include <QTextBrowser>
#include <QUrl>

namespace korvel {

void QtSecondaryWindows::showAboutBox() {
    QMessageBox::about(m_owner, QStringLiteral("关于 HORLO"),
                       QStringLiteral("版本  1.00 \n与MERIDORSNTP时间服务器保持时间同步。"));
}

void QtSecondaryWindows::openHelpViewer(const std::string& pageAddress) {
    auto* viewer = new QTextBrowser;
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setSource(QUrl::fromLocalFile(QString::fromStdString(pageAddress)));
    viewer->show();
}

}  // namespace korvel
