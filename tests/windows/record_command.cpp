// Stands in for a system tool (icacls.exe, schtasks.exe) in a Wine prefix: appends its command
// line to C:\recorded-commands.txt, one line per run, as UTF-8, and succeeds.

#include <windows.h>

#include <cstdio>

#include "platform/win32/win32_text.h"

int wmain(int, wchar_t**) {
    FILE* file = _wfopen(L"C:\\recorded-commands.txt", L"ab");
    if (file == nullptr) {
        return 1;
    }
    const bool written = std::fprintf(file, "%s\n", korvel::utf8Of(GetCommandLineW()).c_str()) > 0;
    return std::fclose(file) == 0 && written ? 0 : 1;
}
