#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
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
    // How a launch ended: its error, or the program's exit code once the program has ended.
    struct Ended {
        DWORD launchError = ERROR_SUCCESS;
        DWORD exitCode = 0;
    };
    virtual ~ProcessLauncher() = default;
    // Asks for the launch; returns at once, also while the system asks for consent.
    virtual void start(const ElevatedLaunch& launch) = 0;
    // How the launch ended; nullopt while consent is asked or the program runs.
    virtual std::optional<Ended> ended() = 0;
};

// ShellExecuteExW on a thread of its own, since it returns only once the consent has been
// given or refused; the program's thread only looks at the outcome.
class ShellProcessLauncher final : public ProcessLauncher {
public:
    ~ShellProcessLauncher() override;
    // The window the consent prompt belongs to, so it comes up in front of it.
    void setOwner(HWND owner) { m_owner = owner; }
    void start(const ElevatedLaunch& launch) override;
    std::optional<Ended> ended() override;

private:
    HWND m_owner = nullptr;
    std::thread m_worker;
    std::atomic<bool> m_launched{false};
    HANDLE m_process = nullptr;  // written by the worker before m_launched
    DWORD m_error = ERROR_SUCCESS;
};

// korvel-cli's parameters for a correction by the agreed offset against servers, each validated
// and quoted; nullopt when one is not a server address (nothing else may reach the command
// line).
std::optional<std::wstring> elevatedParameters(const std::vector<std::string>& servers,
                                               double agreedOffsetSec);

// Runs toolPath elevated (verb runas, UAC's consent) when the clock says this process lacks the
// right, and looks at the process on a timer, so the window's loop goes on meanwhile.
class Win32ElevatedCorrection final : public ElevatedCorrection {
public:
    Win32ElevatedCorrection(SystemClock& clock, TimerService& timers, ProcessLauncher& launcher,
                            std::wstring toolPath);
    bool needed() override;
    void correct(const std::vector<std::string>& servers, double agreedOffsetSec,
                 std::function<void(ElevatedRun)> done) override;

    static constexpr int kPollMs = 200;

private:
    SystemClock& m_clock;
    ProcessLauncher& m_launcher;
    std::wstring m_toolPath;
    std::unique_ptr<Timer> m_poll;
    std::function<void(ElevatedRun)> m_done;
};

}  // namespace korvel
