#pragma once

#include <string>
#include <vector>

#include "platform/session_start.h"

namespace korvel {

// A command line that CommandLineToArgvW splits back into these arguments, the program's
// path first (always quoted; a path holds no quote).
std::wstring windowsCommandLine(const std::vector<std::string>& commandLine);

// A value under HKCU\Software\Microsoft\Windows\CurrentVersion\Run, which the shell runs at
// log-on.
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
