#include "ui/qt/tray_icon.h"

#include <cstddef>
#include <iterator>
#include <string_view>
#include <utility>

#include "ui/form/form_layout.h"
#include "ui/form/main_form.h"
#include "ui/qt/pictures.h"

namespace korvel {

TrayIcon::TrayIcon(MainForm& form, FormActions actions, std::function<bool()> trayAvailable)
    : m_form(form), m_actions(std::move(actions)), m_trayAvailable(std::move(trayAvailable)) {
    static_assert(std::size(layout::kTrayBadges) == std::tuple_size_v<decltype(m_pictures)>);
    for (std::size_t state = 0; state < m_pictures.size(); ++state) {
        m_pictures[state] = badgedIcon(layout::kTrayBadges[state]);
    }
    for (const layout::TrayItem& item : layout::kTrayItems) {
        if (std::string_view(item.name) == "exit") {
            m_menu.addSeparator();
        }
        QAction* action = m_menu.addAction(QString::fromUtf8(item.caption));
        action->setObjectName(QString::fromUtf8(item.name));
        QObject::connect(action, &QAction::triggered, action, [this, &item] {
            item.toolbarButton != 0 ? m_actions.toolbarClick(item.toolbarButton)
                                    : m_actions.openWindow();
        });
        m_items.push_back(action);
    }
    m_menu.setDefaultAction(m_items.front());
    m_icon.setContextMenu(&m_menu);
    QObject::connect(
        &m_icon, &QSystemTrayIcon::activated, &m_menu,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                m_actions.openWindow();
            }
        });
    draw();
    m_changed = m_form.tray.changed.connect([this] { draw(); });
    m_icon.show();
    m_actions.trayShown(true);
    constexpr int kTrayWatchMs = 1000;
    m_trayWatch.setInterval(kTrayWatchMs);
    QObject::connect(&m_trayWatch, &QTimer::timeout, &m_menu, [this] {
        const bool shown = m_trayAvailable();
        if (shown == m_trayShown) {
            return;
        }
        m_trayShown = shown;
        if (shown) {
            // A tray that comes back holds no icons: ours goes into it again.
            m_icon.hide();
            m_icon.show();
        }
        m_actions.trayShown(shown);
    });
    m_trayWatch.start();
}

void TrayIcon::draw() {
    const TrayModel& tray = m_form.tray;
    m_icon.setIcon(m_pictures.at(static_cast<std::size_t>(tray.state())));
    m_icon.setToolTip(QString::fromStdString(tray.toolTip()));
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        m_items[i]->setEnabled(tray.isEnabled(layout::kTrayItems[i]));
    }
}

}  // namespace korvel
