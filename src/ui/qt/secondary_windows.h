#pragma once

#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/timer.h"
#include "platform/windows.h"
#include "ui/form/about_box.h"

namespace korvel {

class AboutDialog;
class BurstDetails;
class BurstDetailsWindow;
class HelpViewer;

// The About box and the help viewers on Qt Widgets. Viewers are top-level windows independent
// of the owner: they stay open when it closes and keep the program running until the last one
// is closed. Destroying this object closes them.
class QtSecondaryWindows final : public SecondaryWindows {
public:
    // The timers and the About box's services must outlive this object.
    QtSecondaryWindows(TimerService& timers, const SysInfoServices& aboutServices);
    ~QtSecondaryWindows() override;
    QtSecondaryWindows(const QtSecondaryWindows&) = delete;
    QtSecondaryWindows& operator=(const QtSecondaryWindows&) = delete;

    // The main window, owner of the modal About box; set once it exists.
    void setOwner(QWidget* owner) { m_owner = owner; }
    // What the details window shows; set once it exists, and it must outlive this object.
    void setBurstDetails(BurstDetails& details) { m_burstDetails = &details; }

    void showAboutBox() override;
    bool openHelpViewer(const std::string& pageAddress) override;
    void showBurstDetails() override;

    // The viewers still open, oldest first.
    std::vector<HelpViewer*> openViewers() const;
    // The About box once it has been shown.
    AboutDialog* aboutBox() const;
    // The details window once it has been shown.
    BurstDetailsWindow* burstDetailsWindow() const;

private:
    QPointer<QWidget> m_owner;
    TimerService& m_timers;
    SysInfoServices m_aboutServices;
    QPointer<AboutDialog> m_aboutBox;
    BurstDetails* m_burstDetails = nullptr;
    QPointer<BurstDetailsWindow> m_burstDetailsWindow;
    std::vector<QPointer<HelpViewer>> m_viewers;
};

}  // namespace korvel
