#include "platform/win32/win32_keeper_store.h"

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "support/temp_folder.h"

namespace korvel::test {
namespace {

namespace fs = std::filesystem;

TEST(Win32KeeperStore, TakesOnlyARegularFileOfModestSizeAndReplacesItWholeUnderItsLock) {
    const struct {
        const char* what;
        std::function<void(TempFolder& folder, const fs::path& state)> plant;
        std::string problem;
    } cases[] = {
        {"missing", [](TempFolder&, const fs::path&) {}, "no state yet"},
        {"a folder", [](TempFolder&, const fs::path& state) { fs::create_directory(state); },
         "the state file is not a file"},
        {"huge",
         [](TempFolder& folder, const fs::path&) {
             folder.write("state", std::string(70 * 1024, 'x'));
         },
         "the state file is too large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        c.plant(folder, folder.path() / "state");
        Win32KeeperStore store(folder.path().string());
        std::string problem;
        EXPECT_FALSE(store.read(problem));
        EXPECT_EQ(problem, c.problem);
    }

    TempFolder folder;
    {
        Win32KeeperStore store(folder.path().string());
        ASSERT_EQ(store.hold(), "");
        // Another run finds the lock taken.
        const HANDLE other =
            CreateFileW((folder.path() / "lock").wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        OVERLAPPED whole{};
        EXPECT_FALSE(LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                                &whole));
        CloseHandle(other);
        EXPECT_EQ(store.write("old"), "");
        EXPECT_EQ(store.write("korvel-keeper 1\nboot b\n"), "");
        EXPECT_EQ(store.writeStatus("slewed"), "");
        EXPECT_FALSE(store.bootId().empty());
    }
    Win32KeeperStore again(folder.path().string());
    std::string problem;
    EXPECT_EQ(again.read(problem), "korvel-keeper 1\nboot b\n");
    EXPECT_EQ(folder.read("status"), "slewed");
    EXPECT_FALSE(fs::exists(folder.path() / "state.new"));
}

TEST(Win32KeeperStore, ATakenStateBelongsToTheServiceAdministratorsOrThisUser) {
    const struct {
        const char* sid;
        bool taken;
    } cases[] = {
        {"S-1-5-19", true},       // LOCAL SERVICE, which runs the scheduled task
        {"S-1-5-18", true},       // SYSTEM
        {"S-1-5-32-544", true},   // Administrators
        {"S-1-5-32-545", false},  // Users
        {"S-1-1-0", false},       // Everyone
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sid);
        PSID sid = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidA(c.sid, &sid));
        EXPECT_EQ(keeperMayOwn(sid), c.taken);
        LocalFree(sid);
    }
    EXPECT_FALSE(keeperMayOwn(nullptr));
}

}  // namespace
}  // namespace korvel::test
