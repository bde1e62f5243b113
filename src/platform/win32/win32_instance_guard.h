#pragma once

#include <windows.h>

#include <string>

#include "platform/user_feedback.h"

namespace korvel {

// A named mutex in the session's namespace, keyed by the executable's path: copies of one
// installation see each other, other installations and other users' sessions do not. The
// first copy holds it until it ends.
class Win32InstanceGuard final : public InstanceGuard {
public:
    explicit Win32InstanceGuard(const std::wstring& executablePath);
    ~Win32InstanceGuard() override;
    Win32InstanceGuard(const Win32InstanceGuard&) = delete;
    Win32InstanceGuard& operator=(const Win32InstanceGuard&) = delete;

    bool anotherCopyRunning() override;

private:
    std::wstring m_name;
    HANDLE m_mutex = nullptr;
};

// This executable's full path (GetModuleFileNameW).
std::wstring executablePath();

}  // namespace korvel
