#include "platform/win32/win32_elevation.h"

#include <shellapi.h>

#include <string>
#include <utility>

#include "common/config_line.h"
#include "platform/win32/win32_text.h"
#include "sntp/outcome.h"

namespace korvel {

namespace {

const int kStepRefusedStatus = exitStatus(Outcome::StepRefused);

}  // namespace

ProcessLauncher::Started ShellProcessLauncher::start(const ElevatedLaunch& launch) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpVerb = launch.verb.c_str();
    info.lpFile = launch.file.c_str();
    info.lpParameters = launch.parameters.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info)) {
        return {nullptr, GetLastError()};
    }
    // A launch the shell handed on to a process already running gives no handle to wait for.
    const DWORD error =
        info.hProcess == nullptr ? DWORD{ERROR_INVALID_HANDLE} : DWORD{ERROR_SUCCESS};
    return {info.hProcess, error};
}

std::optional<DWORD> ShellProcessLauncher::exitCode(HANDLE process) {
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = static_cast<DWORD>(kStepRefusedStatus);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

std::optional<std::wstring> elevatedParameters(const std::vector<std::string>& servers) {
    std::wstring parameters = L"measure --apply";
    for (const std::string& server : servers) {
        // An address holds neither blanks nor quotes, so quoting it cannot be undone.
        if (!isServerAddress(server) || server.find('"') != std::string::npos) {
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
        const std::optional<DWORD> code = m_launcher.exitCode(m_process);
        if (!code) {
            return;
        }
        m_poll->stop();
        m_process = nullptr;
        std::exchange(m_done, {})({static_cast<int>(*code), {}});
    });
}

bool Win32ElevatedCorrection::needed() {
    return !m_clock.holdsRightToStep();
}

void Win32ElevatedCorrection::correct(const std::vector<std::string>& servers,
                                      std::function<void(ElevatedRun)> done) {
    const std::optional<std::wstring> parameters = elevatedParameters(servers);
    if (!parameters || servers.empty()) {
        done({kStepRefusedStatus, "服务器地址错误，时钟没有校准。"});
        return;
    }
    const ProcessLauncher::Started started = m_launcher.start({L"runas", m_toolPath, *parameters});
    if (started.error == ERROR_CANCELLED) {
        done({exitStatus(Outcome::ConsentRefused),
              "没有得到以管理员身份校准时钟的同意，时钟没有校准。"});
        return;
    }
    if (started.process == nullptr) {
        done({kStepRefusedStatus, "无法以管理员身份运行 korvel-cli.exe（错误 " +
                                      std::to_string(started.error) + "），时钟没有校准。"});
        return;
    }
    m_process = started.process;
    m_done = std::move(done);
    m_poll->start();
}

}  // namespace korvel
