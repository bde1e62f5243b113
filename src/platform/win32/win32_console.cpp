#include "platform/win32/win32_console.h"

#include <windows.h>

#include "platform/win32/win32_text.h"

namespace korvel {

namespace {

void write(DWORD stream, const std::string& utf8) {
    const HANDLE handle = GetStdHandle(stream);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = wideOf(utf8);
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

}  // namespace

void Win32Console::out(const std::string& utf8) {
    write(STD_OUTPUT_HANDLE, utf8);
}

void Win32Console::err(const std::string& utf8) {
    write(STD_ERROR_HANDLE, utf8);
}

}  // namespace korvel
