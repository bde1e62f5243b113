#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/qt/qt_program_launcher.h"
#include "platform/qt/qt_timers.h"
#include "platform/registry.h"
#include "platform/windows.h"

namespace korvel {

class AboutDialog;
class HelpViewer;

// The About box and the help viewers on Qt Widgets, with the system services they use.
// Viewers are top-level windows independent of the owner: they stay open when it closes and
// keep the program running until the last one is closed. Destroying this object closes them.
class QtSecondaryWindows final : public SecondaryWindows {
public:
    QtSecondaryWindows();
    ~QtSecondaryWindows() override;
    QtSecondaryWindows(const QtSecondaryWindows&) = delete;
    QtSecondaryWindows& operator=(const QtSecondaryWindows&) = delete;

    // The main window, owner of the modal About box; set once it exists.
    void setOwner(QWidget* owner) { m_owner = owner; }

    void showAboutBox() override;
    void openHelpViewer(const std::string& pageAddress) override;

    // The viewers still open, oldest first.
    std::vector<HelpViewer*> openViewers() const;
    // The About box once it has been shown.
    AboutDialog* aboutBox() const;

private:
    QPointer<QWidget> m_owner;
    QtTimerService m_timers;
    std::unique_ptr<Registry> m_registry;
    std::unique_ptr<FileSystem> m_files;
    QtProgramLauncher m_launcher;
    QPointer<AboutDialog> m_aboutBox;
    std::vector<QPointer<HelpViewer>> m_viewers;
};

}  // namespace korvel
