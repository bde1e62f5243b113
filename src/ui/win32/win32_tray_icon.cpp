#include "ui/win32/win32_tray_icon.h"

#include <cwchar>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "platform/win32/win32_text.h"
#include "ui/form/form_layout.h"
#include "ui/form/main_form.h"
#include "ui/win32/win32_pictures.h"

namespace korvel {

namespace {

constexpr UINT kFirstItemId = 1;  // + the item's place in the layout

}  // namespace

Win32TrayIcon::Win32TrayIcon(MainForm& form, FormActions actions)
    : m_form(form), m_actions(std::move(actions)) {
    static_assert(std::size(layout::kTrayBadges) == std::tuple_size_v<decltype(m_pictures)>);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Win32TrayIcon::procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
    CreateWindowExW(0, kClassName, L"KORVEL", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                    this);
    m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    const int size = GetSystemMetrics(SM_CXSMICON);
    for (std::size_t state = 0; state < m_pictures.size(); ++state) {
        m_pictures[state] = badgedApplicationIcon(layout::kTrayBadges[state], size);
    }
    add();
    m_changed = m_form.tray.changed.connect([this] { draw(); });
}

Win32TrayIcon::~Win32TrayIcon() {
    m_changed.disconnect();
    NOTIFYICONDATAW data = iconData(0);
    Shell_NotifyIconW(NIM_DELETE, &data);
    DestroyWindow(m_window);
    for (HICON icon : m_pictures) {
        DestroyIcon(icon);
    }
}

LRESULT CALLBACK Win32TrayIcon::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<Win32TrayIcon*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32TrayIcon*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->handleMessage(message, wParam, lParam)
                           : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32TrayIcon::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == m_taskbarCreated && m_taskbarCreated != 0) {
        add();
        return 0;
    }
    if (message == kIconMessage) {
        switch (LOWORD(lParam)) {
            case WM_RBUTTONUP:
            case WM_CONTEXTMENU:
                showMenu();
                break;
            case WM_LBUTTONDBLCLK:
                m_actions.openWindow();
                break;
            default:
                break;
        }
        return 0;
    }
    if (message == WM_DESTROY) {
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

NOTIFYICONDATAW Win32TrayIcon::iconData(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = m_window;
    data.uID = kIconId;
    data.uFlags = flags;
    data.uCallbackMessage = kIconMessage;
    const TrayModel& tray = m_form.tray;
    data.hIcon = m_pictures.at(static_cast<std::size_t>(tray.state()));
    // The tip is cut to what the system holds.
    const std::wstring tip = wideOf(tray.toolTip());
    std::wcsncpy(data.szTip, tip.c_str(), std::size(data.szTip) - 1);
    return data;
}

void Win32TrayIcon::add() {
    NOTIFYICONDATAW data = iconData(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    m_actions.trayShown(Shell_NotifyIconW(NIM_ADD, &data) != FALSE);
}

void Win32TrayIcon::draw() {
    if (m_form.tray.isShown()) {
        NOTIFYICONDATAW data = iconData(NIF_ICON | NIF_TIP);
        Shell_NotifyIconW(NIM_MODIFY, &data);
    }
}

void Win32TrayIcon::showMenu() {
    HMENU menu = CreatePopupMenu();
    for (std::size_t i = 0; i < std::size(layout::kTrayItems); ++i) {
        const layout::TrayItem& item = layout::kTrayItems[i];
        if (std::string_view(item.name) == "exit") {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        }
        AppendMenuW(menu, MF_STRING | (m_form.tray.isEnabled(item) ? MF_ENABLED : MF_GRAYED),
                    kFirstItemId + i, wideOf(item.caption).c_str());
    }
    SetMenuDefaultItem(menu, kFirstItemId, FALSE);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(m_window);
    POINT cursor{};
    GetCursorPos(&cursor);
    const auto chosen =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                         cursor.x, cursor.y, 0, m_window, nullptr));
    PostMessageW(m_window, WM_NULL, 0, 0);
    DestroyMenu(menu);
    if (chosen >= kFirstItemId && chosen < kFirstItemId + std::size(layout::kTrayItems)) {
        const layout::TrayItem& item = layout::kTrayItems[chosen - kFirstItemId];
        item.toolbarButton != 0 ? m_actions.toolbarClick(item.toolbarButton)
                                : m_actions.openWindow();
    }
}

}  // namespace korvel
