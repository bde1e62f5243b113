#include "platform/win32/win32_instance_guard.h"

#include <algorithm>
#include <cwctype>

namespace korvel {

Win32InstanceGuard::Win32InstanceGuard(const std::wstring& executablePath)
    : m_name(L"Local\\KORVEL ") {
    // A backslash would name a namespace; paths differ in case only on the same file.
    std::wstring key = executablePath;
    std::ranges::replace(key, L'\\', L'/');
    std::ranges::transform(key, key.begin(), [](wchar_t c) { return std::towlower(c); });
    m_name += key.substr(0, MAX_PATH - m_name.size());
}

Win32InstanceGuard::~Win32InstanceGuard() {
    if (m_mutex != nullptr) {
        CloseHandle(m_mutex);
    }
}

bool Win32InstanceGuard::anotherCopyRunning() {
    if (m_mutex == nullptr) {
        m_mutex = CreateMutexW(nullptr, FALSE, m_name.c_str());
        return m_mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
    }
    return false;
}

std::wstring executablePath() {
    std::wstring path(32768, L'\0');  // the longest path Windows has
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

}  // namespace korvel
