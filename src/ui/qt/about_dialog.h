#pragma once

#include <QDialog>

#include "ui/form/about_box.h"

class QPushButton;

namespace korvel {

// The About box frmAbout: a fixed dialog with the program's captions. 确定, Enter, Esc and the
// close box all close it; 系统信息 starts the system-information tool.
class AboutDialog final : public QDialog {
public:
    // The services must outlive the dialog.
    AboutDialog(QWidget* owner, const SysInfoServices& services);

    QPushButton* okButton() const { return m_cmdOK; }
    QPushButton* sysInfoButton() const { return m_cmdSysInfo; }

    // Esc and the close box press 确定.
    void reject() override;

private:
    QPushButton* m_cmdOK;
    QPushButton* m_cmdSysInfo;
    SysInfoServices m_services;
};

}  // namespace korvel
