#include "platform/win32/win32_files.h"

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/win32_text.h"
#include "support/temp_folder.h"

namespace korvel::test {
namespace {

constexpr unsigned kChinese = 936;  // GBK
constexpr unsigned kWestern = 1252;

// The log of a Chinese system stays in its code page; a Western one gets UTF-8 rather than
// question marks; reading takes both back, a byte-order mark or not.
TEST(Win32Files, TextIsWrittenInACodePageThatHoldsItAndReadBackFromEither) {
    EXPECT_EQ(textCodePage(kChinese), kChinese);
    EXPECT_EQ(textCodePage(kWestern), 0u);
    const std::string line = "12-06-2026   09:05:10   测时差（自动）";
    const std::string gbk =
        "12-06-2026   09:05:10   \xB2\xE2\xCA\xB1\xB2\xEE\xA3\xA8\xD7\xD4\xB6\xAF\xA3\xA9";
    EXPECT_EQ(encodedLine(kChinese, line), gbk + "\r\n");
    EXPECT_EQ(encodedLine(0, line), line + "\r\n");
    EXPECT_EQ(encodedLine(kWestern, "é ok"), "\xE9 ok\r\n");
    EXPECT_EQ(decodedText(kChinese, gbk), line);
    EXPECT_EQ(decodedText(kWestern, "\xEF\xBB\xBF" + line), line);
    EXPECT_EQ(decodedText(kChinese, line), line);
}

TEST(Win32Files, FilesAreRegularAndTheConfigurationIsReplacedWhole) {
    TempFolder folder;
    Win32FileSystem files(executableFolder(), {folder.path().string(), {}}, executableFolder());
    const std::string config = (folder.path() / "sntp.cfg").string();
    ASSERT_EQ(files.replaceWithLine(config, "SNTP 192.0.2.1       123"), FileError::None);
    EXPECT_EQ(files.readFirstLine(config), "SNTP 192.0.2.1       123");
    EXPECT_TRUE(folder.read(config).ends_with("123\r\n"));
    EXPECT_FALSE(files.exists(config + ".new"));
    EXPECT_EQ(files.readFirstLine(config + ".missing"), std::nullopt);

    FileError error = FileError::None;
    EXPECT_TRUE(!files.openByteFile(folder.path().string(), error) && error != FileError::None);
    EXPECT_TRUE(!files.openAppend("NUL", error) && error == FileError::PathAccess);
    auto log = files.openAppend((folder.path() / "a.log").string(), error);
    ASSERT_TRUE(log && log->appendLine("校准失败") && log->appendLine("x"));
    log.reset();
    EXPECT_EQ(decodedText(GetACP(), folder.read("a.log")), "校准失败\r\nx\r\n");

    // Two handles adding to one line at once lose nothing: each update re-reads under the lock.
    const std::string holds = (folder.path() / "RATE-HOLD.TMP").string();
    // gtest's checks are not for other threads: each thread counts its failed updates.
    const auto add = [&](char word, int& failed) {
        for (int i = 0; i < 20; ++i) {
            failed += files.updateLine(holds, [&](const std::optional<std::string>& line) {
                return line.value_or("") + word;
            }) != FileError::None;
        }
    };
    int failedA = 0;
    int failedB = 0;
    std::thread other(add, 'b', std::ref(failedB));
    add('a', failedA);
    other.join();
    EXPECT_EQ(failedA + failedB, 0);
    const std::string line = files.readFirstLine(holds).value_or("");
    EXPECT_EQ(std::count(line.begin(), line.end(), 'a'), 20) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), 'b'), 20) << line;
}

// Whether the site folder's servers can only be an administrator's choice, for access lists
// written as SDDL (Wine keeps none on its files, so the lists are made here).
TEST(Win32Files, SiteFolderIsTrustedOnlyWhenOnlyAdministratorsMayChangeIt) {
    const std::wstring installer =
        L"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
        L"(A;OICI;0x1200a9;;;LS)";
    const std::vector<std::pair<std::wstring, bool>> cases = {
        {L"O:BA" + installer, true},
        {L"O:SYD:P(A;;FA;;;SY)", true},
        {L"O:BA" + installer + L"(A;OICIIO;FA;;;CO)(D;;FA;;;BG)", true},
        {L"O:S-1-5-21-1-2-3-1001" + installer, false},  // a user made it
        {L"O:BA" + installer + L"(A;OICI;0x1301bf;;;BU)", false},
        {L"O:BA" + installer + L"(A;CI;0x2;;;BU)", false},  // users may add a folder
        {L"O:BA" + installer + L"(A;;WD;;;WD)", false},     // anyone may change the list
        {L"O:BA" + installer + L"(A;;0x1301bf;;;LS)", false},
        {L"O:BA", false},
        // What Wine reports for every folder.
        {L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)"
         L"(A;OICI;0x1200a9;;;WD)",
         false},
    };
    for (const auto& [sddl, trusted] : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
        EXPECT_EQ(onlyAdministratorsMayChange(descriptor), trusted) << utf8Of(sddl);
        // The same owner with a null access list, which lets everyone do everything.
        SECURITY_DESCRIPTOR open{};
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION) &&
                    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
                    SetSecurityDescriptorOwner(&open, owner, FALSE) &&
                    SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
        EXPECT_FALSE(onlyAdministratorsMayChange(&open)) << utf8Of(sddl);
        LocalFree(descriptor);
    }
}

}  // namespace
}  // namespace korvel::test
