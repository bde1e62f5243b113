#include "ui/qt/secondary_windows.h"

#include <algorithm>

#include "ui/qt/about_dialog.h"
#include "ui/qt/burst_details_window.h"
#include "ui/qt/help_viewer.h"

namespace korvel {

QtSecondaryWindows::QtSecondaryWindows(TimerService& timers, const SysInfoServices& aboutServices)
    : m_timers(timers), m_aboutServices(aboutServices) {}

QtSecondaryWindows::~QtSecondaryWindows() {
    for (const QPointer<HelpViewer>& viewer : m_viewers) {
        delete viewer.data();
    }
    // Owned by the main window while it exists.
    delete m_aboutBox.data();
    delete m_burstDetailsWindow.data();
}

void QtSecondaryWindows::showAboutBox() {
    if (m_aboutBox == nullptr) {
        m_aboutBox = new AboutDialog(m_owner, m_aboutServices);
    }
    m_aboutBox->exec();
}

bool QtSecondaryWindows::openHelpViewer(const std::string& pageAddress) {
    std::erase_if(m_viewers, [](const QPointer<HelpViewer>& viewer) { return viewer.isNull(); });
    auto* viewer = new HelpViewer(m_timers);
    m_viewers.emplace_back(viewer);
    viewer->open(pageAddress);
    return true;
}

void QtSecondaryWindows::showBurstDetails() {
    if (m_burstDetailsWindow == nullptr && m_burstDetails != nullptr) {
        m_burstDetailsWindow = new BurstDetailsWindow(*m_burstDetails, m_owner);
    }
    if (m_burstDetailsWindow != nullptr) {
        m_burstDetailsWindow->show();
        m_burstDetailsWindow->raise();
        m_burstDetailsWindow->activateWindow();
    }
}

BurstDetailsWindow* QtSecondaryWindows::burstDetailsWindow() const {
    return m_burstDetailsWindow.data();
}

AboutDialog* QtSecondaryWindows::aboutBox() const {
    return m_aboutBox.data();
}

std::vector<HelpViewer*> QtSecondaryWindows::openViewers() const {
    std::vector<HelpViewer*> open;
    for (const QPointer<HelpViewer>& viewer : m_viewers) {
        if (!viewer.isNull()) {
            open.push_back(viewer.data());
        }
    }
    return open;
}

}  // namespace korvel
