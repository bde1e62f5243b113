#include "platform/posix/posix_keeper_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "support/temp_folder.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;

TEST(PosixKeeperStore, TakesOnlyItsOwnRegularFileOfModestSize) {
    const struct {
        const char* what;
        std::function<void(test::TempFolder& folder, const fs::path& state)> plant;
        std::string problem;
    } cases[] = {
        {"missing", [](test::TempFolder&, const fs::path&) {}, "no state yet"},
        {"a link to a file",
         [](test::TempFolder& folder, const fs::path& state) {
             fs::create_symlink(folder.write("elsewhere", "korvel-keeper 1\nboot b\n"), state);
         },
         "the state file is a link"},
        {"a folder", [](test::TempFolder&, const fs::path& state) { fs::create_directory(state); },
         "the state file is not a file"},
        {"a FIFO", [](test::TempFolder&, const fs::path& state) { ::mkfifo(state.c_str(), 0600); },
         "the state file is not a file"},
        {"huge",
         [](test::TempFolder& folder, const fs::path&) {
             folder.write("state", std::string(70 * 1024, 'x'));
         },
         "the state file is too large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempFolder folder;
        c.plant(folder, folder.path() / "state");
        PosixKeeperStore store(folder.path(), {});
        std::string problem;
        EXPECT_FALSE(store.read(problem));
        EXPECT_EQ(problem, c.problem);
    }
    if (::geteuid() == 0) {
        test::TempFolder folder;
        const fs::path state = folder.write("state", "korvel-keeper 1\n");
        ASSERT_EQ(::chown(state.c_str(), 65534, 65534), 0);
        PosixKeeperStore store(folder.path(), {});
        std::string problem;
        EXPECT_FALSE(store.read(problem));
        EXPECT_EQ(problem, "the state file belongs to another user");
    }
}

TEST(PosixKeeperStore, ReplacesTheStateWholeUnderItsLockAndTheStatusForEveryone) {
    test::TempFolder folder;
    fs::create_directory(folder.path() / "public");
    const fs::path boot = folder.write("boot_id", "6a1f-77\n");
    {
        PosixKeeperStore store(folder.path(), folder.path() / "public", boot);
        ASSERT_EQ(store.hold(), "");
        // Another run finds the lock taken.
        const int other = ::open((folder.path() / "lock").c_str(), O_RDWR);
        EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
        ::close(other);
        EXPECT_EQ(store.bootId(), "6a1f-77");
        EXPECT_EQ(store.write("old"), "");
        EXPECT_EQ(store.write("korvel-keeper 1\nboot b\n"), "");
        EXPECT_EQ(store.writeStatus("slewed"), "");
    }
    PosixKeeperStore again(folder.path(), {}, folder.path() / "no-such-file");
    std::string problem;
    EXPECT_EQ(again.read(problem), "korvel-keeper 1\nboot b\n");
    EXPECT_EQ(again.bootId(), "unknown");
    EXPECT_EQ(again.writeStatus("nowhere"), "");
    EXPECT_FALSE(fs::exists(folder.path() / "state.new"));
    EXPECT_EQ(fs::status(folder.path() / "state").permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(folder.path() / "public" / "status").permissions(), fs::perms(0644));
    EXPECT_EQ(folder.read(folder.path() / "public" / "status"), "slewed");
}

}  // namespace
}  // namespace korvel
