#include "platform/win32/win32_elevation.h"

#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <utility>

#include "common/config_line.h"
#include "common/text_forms.h"
#include "platform/win32/win32_text.h"
#include "sntp/outcome.h"

namespace korvel {

namespace {

const int kStepRefusedStatus = exitStatus(Outcome::StepRefused);

}  // namespace

ShellProcessLauncher::~ShellProcessLauncher() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (m_process != nullptr) {
        CloseHandle(m_process);
    }
}

void ShellProcessLauncher::start(const ElevatedLaunch& launch) {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_launched = false;
    m_worker = std::thread([this, launch] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        // The window says why a launch failed; the shell shows no box of its own.
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.hwnd = m_owner;
        info.lpVerb = launch.verb.c_str();
        info.lpFile = launch.file.c_str();
        info.lpParameters = launch.parameters.c_str();
        info.nShow = SW_HIDE;
        if (ShellExecuteExW(&info)) {
            // A launch handed on to a process already running gives no handle to wait for.
            m_process = info.hProcess;
            m_error = m_process == nullptr ? DWORD{ERROR_INVALID_HANDLE} : DWORD{ERROR_SUCCESS};
        } else {
            m_error = GetLastError();
        }
        CoUninitialize();
        m_launched = true;
    });
}

std::optional<ProcessLauncher::Ended> ShellProcessLauncher::ended() {
    if (!m_launched) {
        return std::nullopt;
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (m_error != ERROR_SUCCESS) {
        return Ended{m_error, 0};
    }
    if (WaitForSingleObject(m_process, 0) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = static_cast<DWORD>(kStepRefusedStatus);
    GetExitCodeProcess(m_process, &code);
    CloseHandle(m_process);
    m_process = nullptr;
    return Ended{ERROR_SUCCESS, code};
}

std::optional<std::wstring> elevatedParameters(const std::vector<std::string>& servers,
                                               double agreedOffsetSec) {
    std::wstring parameters =
        L"measure --apply --agreed-offset " + wideOf(sixDecimals(agreedOffsetSec));
    for (const std::string& server : servers) {
        // An entry holds neither blanks nor quotes, so quoting it cannot be undone.
        if (!parseServerEntry(server).entry || server.find('"') != std::string::npos) {
            return std::nullopt;
        }
        parameters += L" \"" + wideOf(server) + L"\"";
    }
    return parameters;
}

Win32ElevatedCorrection::Win32ElevatedCorrection(SystemClock& clock, TimerService& timers,
                                                 ProcessLauncher& launcher, std::wstring toolPath)
    : m_clock(clock),
      m_launcher(launcher),
      m_toolPath(std::move(toolPath)),
      m_poll(timers.createTimer(TimerPrecision::Coarse)) {
    m_poll->setInterval(kPollMs);
    m_poll->setTickHandler([this] {
        const std::optional<ProcessLauncher::Ended> ended = m_launcher.ended();
        if (!ended) {
            return;
        }
        m_poll->stop();
        auto done = std::exchange(m_done, {});
        if (ended->launchError == ERROR_CANCELLED) {
            done({exitStatus(Outcome::ConsentRefused),
                  "没有得到以管理员身份校准时钟的同意，时钟没有校准。"});
        } else if (ended->launchError != ERROR_SUCCESS) {
            done({kStepRefusedStatus, "无法以管理员身份运行 korvel-cli.exe（错误 " +
                                          std::to_string(ended->launchError) +
                                          "），时钟没有校准。"});
        } else {
            done({static_cast<int>(ended->exitCode), {}});
        }
    });
}

bool Win32ElevatedCorrection::needed() {
    return !m_clock.holdsRightToStep();
}

void Win32ElevatedCorrection::correct(const std::vector<std::string>& servers,
                                      double agreedOffsetSec,
                                      std::function<void(ElevatedRun)> done) {
    const std::optional<std::wstring> parameters = elevatedParameters(servers, agreedOffsetSec);
    if (!parameters || servers.empty()) {
        done({kStepRefusedStatus, "服务器地址错误，时钟没有校准。"});
        return;
    }
    m_done = std::move(done);
    m_launcher.start({L"runas", m_toolPath, *parameters});
    m_poll->start();
}

}  // namespace korvel
