#include "ui/qt/secondary_windows.h"

#include <algorithm>
#include <cstdlib>

#include "platform/posix/posix_files.h"
#include "platform/qt/qt_paths.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/help_viewer.h"

#ifdef _WIN32
#include "platform/win32/win32_registry.h"
#else
#include "platform/posix/sysinfo_registry.h"
#endif

namespace korvel {

namespace {

std::unique_ptr<Registry> systemRegistry() {
#ifdef _WIN32
    return std::make_unique<Win32Registry>();
#else
    return std::make_unique<SysInfoRegistry>(SysInfoRegistry::foldersOfPath(std::getenv("PATH")));
#endif
}

}  // namespace

QtSecondaryWindows::QtSecondaryWindows() = default;

QtSecondaryWindows::~QtSecondaryWindows() {
    for (const QPointer<HelpViewer>& viewer : m_viewers) {
        delete viewer.data();
    }
    // Owned by the main window while it exists.
    delete m_aboutBox.data();
}

void QtSecondaryWindows::showAboutBox() {
    if (m_aboutBox == nullptr) {
        // Made here rather than at construction, when the application object may not exist.
        if (!m_registry) {
            m_registry = systemRegistry();
            m_files = std::make_unique<PosixFileSystem>(executableFolder(), privateRuntimeFolder());
        }
        m_aboutBox = new AboutDialog(m_owner, *m_registry, *m_files, m_launcher);
    }
    m_aboutBox->exec();
}

void QtSecondaryWindows::openHelpViewer(const std::string& pageAddress) {
    std::erase_if(m_viewers, [](const QPointer<HelpViewer>& viewer) { return viewer.isNull(); });
    auto* viewer = new HelpViewer(m_timers);
    m_viewers.emplace_back(viewer);
    viewer->open(pageAddress);
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
