#include "platform/win32/win32_elevation.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/virtual_time.h"

namespace korvel::test {
namespace {

// Records each launch; the launch, or the program it started, ends at the third look.
struct RecordingLauncher final : ProcessLauncher {
    void start(const ElevatedLaunch& l) override {
        launched += l.verb + L" " + l.file + L" " + l.parameters + L"\n";
    }
    std::optional<Ended> ended() override {
        return ++looks < 3 ? std::nullopt : std::optional<Ended>({error, code});
    }

    DWORD error = ERROR_SUCCESS;
    DWORD code = 0;
    int looks = 0;
    std::wstring launched;  // "verb file parameters" a line
};

// Asked only without the right; the tool runs through runas with the agreed offset and the
// quoted servers, and what it ends in (or why it never ran) comes back as its exit status.
TEST(Win32ElevatedCorrection, RunsTheToolThroughRunasWithTheQuotedServersAndGivesItsStatus) {
    const wchar_t* const kTool = L"C:\\Program Files\\KORVEL\\korvel-cli.exe";
    const wchar_t* const kOne = L"measure --apply --agreed-offset -1.500000 \"192.0.2.1\"";
    const wchar_t* const kThree =
        L"measure --apply --agreed-offset -1.500000 \"192.0.2.1\" "
        L"\"nts:ntp.example:4461\" \"2001:db8::1\"";
    const struct {
        std::vector<std::string> servers;
        DWORD launchError;
        DWORD exitCode;
        const wchar_t* parameters;  // nullptr: nothing launched
        int status;
        const char* reasonPart;
    } cases[] = {
        {{"192.0.2.1", "nts:ntp.example:4461", "2001:db8::1"}, ERROR_SUCCESS, 0, kThree, 0, ""},
        {{"192.0.2.1"}, ERROR_SUCCESS, 9, kOne, 9, ""},
        {{"192.0.2.1"}, ERROR_CANCELLED, 0, kOne, 13, "同意"},
        {{"192.0.2.1"}, ERROR_FILE_NOT_FOUND, 0, kOne, 4, "错误 2"},
        {{"192.0.2.1", "x\" --port 1"}, ERROR_SUCCESS, 0, nullptr, 4, "服务器地址错误"},
        {{"a b"}, ERROR_SUCCESS, 0, nullptr, 4, "服务器地址错误"},
        {{"nts:a.cn:99999"}, ERROR_SUCCESS, 0, nullptr, 4, "服务器地址错误"},
        {{}, ERROR_SUCCESS, 0, nullptr, 4, "服务器地址错误"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.servers.empty() ? "no server" : c.servers.back());
        VirtualTime time(utcTime(2026, 12, 6, 1, 5, 7), 0);
        RecordingLauncher launcher;
        launcher.error = c.launchError;
        launcher.code = c.exitCode;
        Win32ElevatedCorrection elevation(time, time, launcher, kTool);
        time.rightToStep = true;
        EXPECT_FALSE(elevation.needed());
        time.rightToStep = false;
        EXPECT_TRUE(elevation.needed());

        std::vector<ElevatedRun> runs;
        elevation.correct(c.servers, -1.5, [&runs](ElevatedRun run) { runs.push_back(run); });
        const bool started = c.parameters != nullptr;
        EXPECT_EQ(runs.size(), started ? 0U : 1U);  // consent and the tool are awaited on a timer
        time.advance(10 * Win32ElevatedCorrection::kPollMs);

        EXPECT_EQ(launcher.launched,
                  started ? L"runas " + std::wstring(kTool) + L" " + c.parameters + L"\n" : L"");
        EXPECT_EQ(launcher.looks, started ? 3 : 0);  // no more looks once it has ended
        ASSERT_EQ(runs.size(), 1U);
        EXPECT_EQ(runs[0].exitStatus, c.status);
        EXPECT_NE(runs[0].reason.find(c.reasonPart), std::string::npos) << runs[0].reason;
    }
}

// The real launcher, on a program that needs no consent: the exit code of what it started, or
// why it could not start it, once its thread is done.
TEST(ShellProcessLauncher, GivesTheStartedProgramsExitCodeOrTheLaunchError) {
    const std::pair<const wchar_t*, std::pair<DWORD, DWORD>> cases[] = {
        {L"cmd.exe", {ERROR_SUCCESS, 9}},
        {L"C:\\no-such-folder\\korvel-cli.exe", {ERROR_PATH_NOT_FOUND, 0}},
    };
    for (const auto& [file, expected] : cases) {
        ShellProcessLauncher launcher;
        launcher.start({L"open", file, L"/c exit 9"});
        std::optional<ProcessLauncher::Ended> ended;
        for (int i = 0; i < 200 && !ended; ++i) {
            Sleep(50);
            ended = launcher.ended();
        }
        ASSERT_TRUE(ended.has_value());
        EXPECT_EQ(std::pair(ended->launchError, ended->exitCode), expected);
    }
}

}  // namespace
}  // namespace korvel::test
