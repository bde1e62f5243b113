#include "platform/win32/win32_session_start.h"

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/win32_text.h"

namespace korvel::test {
namespace {

// Under the test prefix's own user key. The value written splits back (CommandLineToArgvW)
// into every argument as it was: blanks, quotes, backslashes before a quote or at the end, %
// (never expanded in a plain string value), characters outside the code page, an empty one.
TEST(Win32SessionStart, RunValueSplitsBackIntoTheArguments) {
    std::vector<std::string> arguments = {"--log=D:\\校时 记录\\%DATE%.log", "C:\\a \"b\" c\\",
                                          "\\\\srv\\x\\\"y", "", "--tray"};
    Win32SessionStart start("C:\\Program Files\\KORVEL\\korvel.exe", L"KORVEL-TEST");
    ASSERT_TRUE(start.turnOn(arguments));
    wchar_t value[512] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           L"KORVEL-TEST", RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    int count = 0;
    wchar_t** words = CommandLineToArgvW(value, &count);
    std::vector<std::string> split;
    for (int i = 0; i < count; ++i) {
        split.push_back(utf8Of(words[i]));
    }
    LocalFree(static_cast<HLOCAL>(words));
    arguments.insert(arguments.begin(), "C:\\Program Files\\KORVEL\\korvel.exe");
    EXPECT_EQ(split, arguments);
    EXPECT_TRUE(start.isOn() && start.turnOff() && !start.isOn() && start.turnOff());
}

}  // namespace
}  // namespace korvel::test
