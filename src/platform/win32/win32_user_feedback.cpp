#include "platform/win32/win32_user_feedback.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/win32/win32_text.h"

namespace korvel {

namespace {

BOOL CALLBACK hideWindow(HWND window, LPARAM /*unused*/) {
    ShowWindow(window, SW_HIDE);
    return TRUE;
}

}  // namespace

void Win32MessageBox::show(const std::string& text) {
    // Its own message loop keeps the timers ticking.
    MessageBoxW(GetActiveWindow(), wideOf(text).c_str(), wideOf(m_title).c_str(), MB_OK);
}

bool Win32MessageBox::confirm(const std::string& text) {
    return MessageBoxW(GetActiveWindow(), wideOf(text).c_str(), wideOf(m_title).c_str(),
                       MB_OKCANCEL | MB_DEFBUTTON2) == IDOK;
}

void Win32Beeper::beep() {
    MessageBeep(MB_OK);
}

void Win32ProgramControl::endNow() {
    m_ended = true;
    // Hidden, not closed: closing would run the main window's unload step.
    EnumThreadWindows(GetCurrentThreadId(), &hideWindow, 0);
    PostQuitMessage(0);
}

bool Win32ProgramLauncher::start(const std::string& path) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", wideOf(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace korvel
