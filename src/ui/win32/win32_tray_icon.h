#pragma once

#include <windows.h>

#include <shellapi.h>

#include <array>

#include "ui/form/controls.h"
#include "ui/form/form_actions.h"

namespace korvel {

struct MainForm;

// The tray's icon through Shell_NotifyIconW: draws the tray model's state, tool tip and menu
// gates and hands the menu's commands and a double click on the icon on. The icon is added
// again when the task bar is made anew and removed with this object.
class Win32TrayIcon {
public:
    // The form outlives the icon. Adds the icon and tells the program whether the system took it.
    Win32TrayIcon(MainForm& form, FormActions actions);
    ~Win32TrayIcon();
    Win32TrayIcon(const Win32TrayIcon&) = delete;
    Win32TrayIcon& operator=(const Win32TrayIcon&) = delete;

    // The window class of the icon's hidden window, and the message its icon sends there, by
    // which tools outside the program find them.
    static constexpr const wchar_t* kClassName = L"KorvelTray";
    static constexpr UINT kIconMessage = WM_APP + 1;
    static constexpr UINT kIconId = 1;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    NOTIFYICONDATAW iconData(UINT flags) const;
    void add();
    void draw();
    void showMenu();

    MainForm& m_form;
    FormActions m_actions;
    HWND m_window = nullptr;  // top-level and hidden: a message-only window hears no broadcast
    UINT m_taskbarCreated = 0;
    std::array<HICON, 4> m_pictures{};  // by TrayState
    Connection m_changed;
};

}  // namespace korvel
