#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/elevated_correction.h"
#include "platform/timer.h"

namespace korvel {

// What is handed to ShellExecuteExW.
struct ElevatedLaunch {
    std::wstring verb;
    std::wstring file;
    std::wstring parameters;
};

// Starts a program and watches it end: ShellExecuteExW and the process handle it gives.
class ProcessLauncher {
public:
    struct Started {
        HANDLE process = nullptr;  // owned by the caller until exitCode has answered
        DWORD error = ERROR_SUCCESS;
    };
    virtual ~ProcessLauncher() = default;
    virtual Started start(const ElevatedLaunch& launch) = 0;
    // The exit code once the process has ended (the handle then closed); nullopt meanwhile.
    virtual std::optional<DWORD> exitCode(HANDLE process) = 0;
};

class ShellProcessLauncher final : public ProcessLauncher {
public:
    Started start(const ElevatedLaunch& launch) override;
    std::optional<DWORD> exitCode(HANDLE process) override;
};

// korvel-cli's parameters for a correction against servers, each validated and quoted;
// nullopt when one is not a server address (nothing else may reach the command line).
std::optional<std::wstring> elevatedParameters(const std::vector<std::string>& servers);

// Runs toolPath elevated (verb runas, UAC's consent) when the clock says this process lacks the
// right, and looks at the process on a timer, so the window's loop goes on meanwhile.
class Win32ElevatedCorrection final : public ElevatedCorrection {
public:
    Win32ElevatedCorrection(SystemClock& clock, TimerService& timers, ProcessLauncher& launcher,
                            std::wstring toolPath);
    bool needed() override;
    void correct(const std::vector<std::string>& servers,
                 std::function<void(ElevatedRun)> done) override;

    static constexpr int kPollMs = 200;

private:
    SystemClock& m_clock;
    ProcessLauncher& m_launcher;
    std::wstring m_toolPath;
    std::unique_ptr<Timer> m_poll;
    HANDLE m_process = nullptr;
    std::function<void(ElevatedRun)> m_done;
};

}  // namespace korvel
