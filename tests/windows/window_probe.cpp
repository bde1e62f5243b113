// window-probe NAME...: prints the title of the running KORVEL window, then a line for each
// NAME: its screen rectangle, whether its text fits it in the designed font (1 or 0) and the
// text, in UTF-8. NAME is a control of the layout, Form1, Panel1 to Panel3 (the status bar's),
// Tip (the tool tip on show), Lamp (the indicator's picture number), Box (the message box), Tray
// (1 while the system shows the icon), TrayOpen (and a double click on it), Close (the close
// box), Focus (the focused control's name) or List (the drop-down lists: the narrowest one's
// width, and whether every offered name fits its list). Exits 1 when there is no such thing.

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <iterator>
#include <string>

#include "platform/win32/win32_text.h"
#include "ui/win32/win32_drawing.h"
#include "ui/win32/win32_form1.h"
#include "ui/win32/win32_tray_icon.h"

namespace {

using namespace korvel;

std::string textOf(HWND window) {
    // Asked by message: another process's edit box keeps its text to itself.
    wchar_t text[256] = {};
    SendMessageW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
    return utf8Of(text);
}

// Sends a message whose answer the window's process writes through a pointer.
template <typename Answer>
Answer askThroughMemory(HWND window, UINT message, WPARAM wParam) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ, FALSE, id);
    void* buffer = VirtualAllocEx(process, nullptr, sizeof(Answer), MEM_COMMIT, PAGE_READWRITE);
    SendMessageW(window, message, wParam, reinterpret_cast<LPARAM>(buffer));
    Answer answer{};
    ReadProcessMemory(process, buffer, &answer, sizeof answer, nullptr);
    VirtualFreeEx(process, buffer, 0, MEM_RELEASE);
    CloseHandle(process);
    return answer;
}

// Whether the text, in the font and broken at its line ends alone, fits the rectangle.
bool fits(const std::string& text, const layout::FontSpec& font, UINT dpi, const RECT& inside) {
    FontCache fonts;
    HDC context = GetDC(nullptr);
    SelectObject(context, fonts.font(font, dpi));
    RECT needed{0, 0, inside.right - inside.left, 0};
    const std::wstring wide = wideOf(text);
    DrawTextW(context, wide.c_str(), -1, &needed, DT_CALCRECT | DT_NOPREFIX);
    ReleaseDC(nullptr, context);
    return needed.right <= inside.right - inside.left &&
           needed.bottom <= inside.bottom - inside.top;
}

// A line for the thing named: its screen rectangle, whether its text fits, the text. False
// when there is no such thing.
bool describe(HWND window, const std::string& name) {
    const UINT dpi = dpiOf(window);
    HWND shown = window;
    RECT inside{};
    std::string text;
    bool fitting = true;
    if (name.starts_with("Panel") || name == "Lamp") {
        shown = FindWindowExW(window, nullptr,
                              name == "Lamp" ? TOOLBARCLASSNAMEW : STATUSCLASSNAMEW, nullptr);
        const auto panel = static_cast<WPARAM>(name.back() - '1');
        if (name == "Lamp") {
            // The indicator is button 9, command 200 + 9.
            text = std::to_string(layout::kDrawnImages.at(
                static_cast<std::size_t>(SendMessageW(shown, TB_GETBITMAP, 209, 0))));
        } else {
            text = utf8Of(
                askThroughMemory<std::array<wchar_t, 256>>(shown, SB_GETTEXTW, panel).data());
            inside = askThroughMemory<RECT>(shown, SB_GETRECT, panel);
            fitting = fits(text, layout::kWindowFont, dpi, inside);
        }
    } else if (name.starts_with("Tray")) {
        shown = FindWindowW(Win32TrayIcon::kClassName, nullptr);
        // Changing nothing of an icon succeeds exactly while the system shows it.
        NOTIFYICONDATAW icon{};
        icon.cbSize = sizeof icon;
        icon.hWnd = shown;
        icon.uID = Win32TrayIcon::kIconId;
        text = Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE ? "1" : "0";
        if (name == "TrayOpen") {
            PostMessageW(shown, Win32TrayIcon::kIconMessage, Win32TrayIcon::kIconId,
                         WM_LBUTTONDBLCLK);
        }
    } else if (name == "Tip") {
        shown = nullptr;
        while ((shown = FindWindowExW(nullptr, shown, TOOLTIPS_CLASSW, nullptr)) != nullptr &&
               (GetWindow(shown, GW_OWNER) != window || IsWindowVisible(shown) == FALSE)) {
        }
        text = textOf(shown);
    } else if (name == "Box") {
        shown = FindWindowW(L"#32770", L"KORVEL");
        text = textOf(GetDlgItem(shown, 0xFFFF));
    } else if (name == "Close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (name == "Focus") {
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
        shown = thread.hwndFocus != nullptr ? thread.hwndFocus : window;
        for (const layout::ControlLayout& control : layout::kControls) {
            if (GetDlgItem(window, Win32Form1::controlId(control.name)) == shown) {
                text = control.name;
            }
        }
    } else if (name == "List") {
        LONG narrowest = LONG_MAX;
        for (const layout::ControlLayout& control : layout::kControls) {
            HWND box = GetDlgItem(window, Win32Form1::controlId(control.name));
            const auto width = static_cast<LONG>(SendMessageW(box, CB_GETDROPPEDWIDTH, 0, 0));
            for (const char* server : control.offers) {
                narrowest = std::min(narrowest, width);
                fitting = fitting && fits(server, layout::kWindowFont, dpi,
                                          {0, 0, width - GetSystemMetrics(SM_CXVSCROLL), 100});
            }
        }
        std::printf("0 0 %ld 0 %d\n", narrowest, fitting ? 1 : 0);
        return true;
    } else if (name != "Form1") {
        shown = GetDlgItem(window, Win32Form1::controlId(name));
        text = textOf(shown);
        GetClientRect(shown, &inside);
        fitting = shown == nullptr || fits(text, layout::controlNamed(name).font, dpi, inside);
    }
    if (shown == nullptr) {
        return false;
    }
    RECT place{};
    GetWindowRect(shown, &place);
    std::printf("%ld %ld %ld %ld %d %s\n", place.left, place.top, place.right - place.left,
                place.bottom - place.top, fitting ? 1 : 0, text.c_str());
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    HWND window = FindWindowW(Win32Form1::kClassName, nullptr);
    if (window == nullptr) {
        return 1;
    }
    std::printf("%s\n", textOf(window).c_str());
    for (int i = 1; i < argc; ++i) {
        if (!describe(window, utf8Of(argv[i]))) {
            return 1;
        }
    }
    return 0;
}
