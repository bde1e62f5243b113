#include "ui/win32/win32_secondary_windows.h"

#include <algorithm>

#include "platform/win32/win32_text.h"
#include "ui/form/about_box.h"
#include "ui/form/form_layout.h"
#include "ui/win32/win32_burst_details.h"
#include "ui/win32/win32_drawing.h"
#include "ui/win32/win32_pictures.h"

namespace korvel {

namespace {

constexpr int kSysInfoId = 1001;
constexpr DWORD kAboutStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;

// The About box's state while it is open.
struct AboutBox {
    SysInfoServices services;
    FontCache fonts;
    HWND labels[std::size(layout::about::kLabels)] = {};
};

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* box = reinterpret_cast<AboutBox*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            box = reinterpret_cast<AboutBox*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            const UINT dpi = dpiOf(dialog);
            SetWindowTextW(dialog, wideOf(about::kTitle).c_str());
            for (const WPARAM size : {ICON_BIG, ICON_SMALL}) {
                SendMessageW(dialog, WM_SETICON, size, reinterpret_cast<LPARAM>(applicationIcon()));
            }
            const RECT outer = outerRect(
                pixelRect({0, 0, layout::about::kWidthTwips, layout::about::kHeightTwips}, dpi),
                kAboutStyle, false, dpi);
            RECT owner{};
            GetWindowRect(GetParent(dialog), &owner);
            SetWindowPos(dialog, nullptr, owner.left + 40, owner.top + 40, outer.right - outer.left,
                         outer.bottom - outer.top, SWP_NOZORDER);
            const HFONT windowFont = box->fonts.font(layout::kWindowFont, dpi);
            for (std::size_t i = 0; i < std::size(layout::about::kLabels); ++i) {
                const layout::about::LabelLayout& spec = layout::about::kLabels[i];
                const HFONT font = spec.font ? box->fonts.font(*spec.font, dpi) : windowFont;
                // Substitute fonts run wider than the ones the box was laid out for; a caption
                // grows to the right rather than being cut.
                RECT place = pixelRect(spec.rect, dpi);
                const SIZE needed = textExtent(font, spec.caption);
                place.right = std::max(place.right, place.left + needed.cx);
                place.bottom = std::max(place.bottom, place.top + needed.cy);
                box->labels[i] = createControl(dialog, L"STATIC", spec.caption,
                                               SS_LEFT | SS_NOPREFIX, place, -1);
                SendMessageW(box->labels[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            }
            const auto button = [&](const char* caption, DWORD style, const TwipsRect& rect,
                                    int id) {
                SendMessageW(createControl(dialog, L"BUTTON", caption, WS_TABSTOP | style,
                                           pixelRect(rect, dpi), id),
                             WM_SETFONT, reinterpret_cast<WPARAM>(windowFont), FALSE);
            };
            button(about::cmdOK, BS_DEFPUSHBUTTON, layout::about::kCmdOK, IDOK);
            button(about::cmdSysInfo, BS_PUSHBUTTON, layout::about::kCmdSysInfo, kSysInfoId);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
            for (std::size_t i = 0; i < std::size(layout::about::kLabels); ++i) {
                const auto& color = layout::about::kLabels[i].color;
                if (box->labels[i] == reinterpret_cast<HWND>(lParam) && color) {
                    SetTextColor(reinterpret_cast<HDC>(wParam), colorRef(*color));
                }
            }
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_COMMAND:
            // Closing the box in any way is its OK button.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDOK);
            } else if (LOWORD(wParam) == kSysInfoId) {
                StartSysInfo(box->services);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

Win32SecondaryWindows::Win32SecondaryWindows(const SysInfoServices& services)
    : m_services(services) {}

void Win32SecondaryWindows::showAboutBox() {
    // An empty template: the box makes its controls from the layout when it opens.
    struct alignas(DWORD) {
        DLGTEMPLATE header{kAboutStyle, 0, 0, 0, 0, 0, 0};
        WORD menu = 0;
        WORD windowClass = 0;
        WORD title = 0;
    } empty;
    AboutBox box{m_services, {}, {}};
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &empty.header, m_owner, &aboutProcedure,
                            reinterpret_cast<LPARAM>(&box));
}

bool Win32SecondaryWindows::openHelpViewer(const std::string& pageAddress) {
    return m_services.launcher.start(pageAddress);
}

void Win32SecondaryWindows::showBurstDetails() {
    if (m_burstDetailsWindow != nullptr) {
        ShowWindow(m_burstDetailsWindow, SW_SHOWNORMAL);
        SetForegroundWindow(m_burstDetailsWindow);
    } else if (m_burstDetails != nullptr) {
        openBurstDetailsWindow(*m_burstDetails, m_owner, &m_burstDetailsWindow);
    }
}

}  // namespace korvel
