#include "platform/win32/win32_session_start.h"

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/win32_text.h"

namespace korvel::test {
namespace {

// What the program started from the value would be given: CommandLineToArgvW's split.
std::vector<std::string> split(const std::wstring& line) {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(utf8Of(words[i]));
    }
    LocalFree(static_cast<HLOCAL>(words));
    return arguments;
}

// Every argument comes back as it was: blanks, quotes, backslashes before a quote or at the
// end, % (never expanded in a plain string value) and characters outside the code page.
TEST(Win32SessionStart, RunValueSplitsBackIntoTheArguments) {
    const std::vector<std::vector<std::string>> cases = {
        {"C:\\Program Files\\KORVEL\\korvel.exe"},
        {"C:\\KORVEL\\korvel.exe", "--auto-sync", "5", "--log", "D:\\校时 记录\\%DATE%.log",
         "--tray"},
        {"C:\\KORVEL\\korvel.exe", "--log", "C:\\a \"b\" c\\", "--log", "\\\\srv\\x\\\"y", ""},
    };
    for (const auto& commandLine : cases) {
        EXPECT_EQ(split(windowsCommandLine(commandLine)), commandLine) << commandLine.back();
    }
    EXPECT_EQ(utf8Of(windowsCommandLine({"C:\\K\\korvel.exe", "--log", "C:\\my logs\\"})),
              "\"C:\\K\\korvel.exe\" --log \"C:\\my logs\\\\\"");
}

// Under the user's own key, which the test's Wine prefix holds.
TEST(Win32SessionStart, RunValueIsWrittenAndRemoved) {
    Win32SessionStart start("C:\\KORVEL\\korvel.exe", L"KORVEL-TEST");
    ASSERT_TRUE(start.turnOn({"--auto-sync", "3"}));
    EXPECT_TRUE(start.isOn());
    wchar_t value[256] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           L"KORVEL-TEST", RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(utf8Of(value), "\"C:\\KORVEL\\korvel.exe\" --auto-sync 3");
    EXPECT_EQ(start.location(),
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\KORVEL-TEST");
    EXPECT_TRUE(start.turnOff());
    EXPECT_FALSE(start.isOn());
    EXPECT_TRUE(start.turnOff());
}

}  // namespace
}  // namespace korvel::test
