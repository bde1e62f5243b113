#pragma once

#include <QDialog>

#include "ui/form/about_box.h"
#include "ui/qt/qt_user_feedback.h"

class QPushButton;

namespace korvel {

// The About box frmAbout: a fixed dialog with the program's captions. 确定, Enter, Esc and the
// close box all close it; 系统信息 starts the system-information tool.
class AboutDialog final : public QDialog {
public:
    // registry, files and launcher must outlive the dialog.
    AboutDialog(QWidget* owner, Registry& registry, FileSystem& files, ProgramLauncher& launcher);

    QPushButton* okButton() const { return m_cmdOK; }
    QPushButton* sysInfoButton() const { return m_cmdSysInfo; }

    // Esc and the close box press 确定.
    void reject() override;

private:
    QPushButton* m_cmdOK;
    QPushButton* m_cmdSysInfo;
    QtMessageBox m_messageBox;  // over the About box, the window in front
    SysInfoServices m_services;
};

}  // namespace korvel
