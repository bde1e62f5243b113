#include "platform/win32/win32_session_start.h"

#include <windows.h>

#include <utility>

#include "platform/win32/win32_text.h"

namespace korvel {

namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The quoting CommandLineToArgvW undoes: backslashes are literal unless a quote follows them,
// where each pair stands for one and an odd one makes the quote literal.
std::wstring quotedArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

// The program's path always quoted: a path holds no quote.
std::wstring windowsCommandLine(const std::vector<std::string>& commandLine) {
    std::wstring line;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        const std::wstring argument = wideOf(commandLine[i]);
        line += i == 0 ? L"\"" + argument + L"\"" : L" " + quotedArgument(argument);
    }
    return line;
}

}  // namespace

Win32SessionStart::Win32SessionStart(std::string programPath, std::wstring valueName)
    : m_programPath(std::move(programPath)), m_valueName(std::move(valueName)) {}

bool Win32SessionStart::isOn() {
    return RegGetValueW(HKEY_CURRENT_USER, kRunKey, m_valueName.c_str(), RRF_RT_ANY, nullptr,
                        nullptr, nullptr) == ERROR_SUCCESS;
}

bool Win32SessionStart::turnOn(const std::vector<std::string>& arguments) {
    std::vector<std::string> commandLine{m_programPath};
    commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
    const std::wstring line = windowsCommandLine(commandLine);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    // One call replaces the value whole.
    const LONG result = RegSetValueExW(key, m_valueName.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(line.c_str()),
                                       static_cast<DWORD>((line.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool Win32SessionStart::turnOff() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, m_valueName.c_str());
    return !isOn();
}

std::string Win32SessionStart::location() {
    return "HKEY_CURRENT_USER\\" + utf8Of(kRunKey) + "\\" + utf8Of(m_valueName);
}

}  // namespace korvel
