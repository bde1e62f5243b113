// window-probe NAME: prints the title of the running KORVEL window, then the screen rectangle
// and the text of its control NAME, then what a drop-down offers, in UTF-8. Exits 1 when there
// is no such window.

#include <windows.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "platform/win32/win32_text.h"
#include "ui/win32/win32_form1.h"

namespace {

std::string textOf(HWND window) {
    // Asked by message: another process's edit box keeps its text to itself.
    wchar_t text[256] = {};
    SendMessageW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
    return korvel::utf8Of(text);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    HWND window = FindWindowW(korvel::Win32Form1::kClassName, nullptr);
    HWND control = argc > 1
                       ? GetDlgItem(window, korvel::Win32Form1::controlId(korvel::utf8Of(argv[1])))
                       : nullptr;
    if (window == nullptr || control == nullptr) {
        return 1;
    }
    RECT place{};
    GetWindowRect(control, &place);
    std::printf("%s\n%ld %ld %ld %ld %s\n", textOf(window).c_str(), place.left, place.top,
                place.right - place.left, place.bottom - place.top, textOf(control).c_str());
    const auto items = SendMessageW(control, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < items; ++item) {
        wchar_t text[256] = {};
        SendMessageW(control, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text));
        std::printf("%s ", korvel::utf8Of(text).c_str());
    }
    return 0;
}
