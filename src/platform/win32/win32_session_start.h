#pragma once

#include <string>
#include <vector>

#include "platform/session_start.h"

namespace korvel {

// A value under HKCU\Software\Microsoft\Windows\CurrentVersion\Run, which the shell runs at
// log-on: the program's path and the arguments, quoted so that CommandLineToArgvW gives each
// back as it was.
class Win32SessionStart final : public SessionStart {
public:
    explicit Win32SessionStart(std::string programPath, std::wstring valueName = L"KORVEL");
    bool isOn() override;
    bool turnOn(const std::vector<std::string>& arguments) override;
    bool turnOff() override;
    std::string location() override;

private:
    std::string m_programPath;
    std::wstring m_valueName;
};

}  // namespace korvel
