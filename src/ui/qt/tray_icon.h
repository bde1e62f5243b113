#pragma once

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <array>
#include <functional>
#include <vector>

#include "ui/form/controls.h"
#include "ui/form/form_actions.h"

namespace korvel {

struct MainForm;

// The tray's icon: draws the tray model's state, tool tip and menu gates and hands the menu's
// commands and a click on the icon on. Made only where the system has a tray; it tells the
// program when that tray goes away and when it is back.
class TrayIcon final {
public:
    // The form outlives the icon. Shows the icon and tells the program so. trayAvailable
    // answers whether the system has a tray now.
    TrayIcon(MainForm& form, FormActions actions,
             std::function<bool()> trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable);
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    const QSystemTrayIcon& icon() const { return m_icon; }
    QMenu& menu() { return m_menu; }

private:
    void draw();

    MainForm& m_form;
    FormActions m_actions;
    QMenu m_menu;  // outlives the icon that shows it
    QSystemTrayIcon m_icon;
    std::vector<QAction*> m_items;
    std::array<QIcon, 4> m_pictures;  // by TrayState
    Connection m_changed;
    // The system tells of no tray going away or coming back: it is looked at now and then.
    std::function<bool()> m_trayAvailable;
    bool m_trayShown = true;
    QTimer m_trayWatch;
};

}  // namespace korvel
