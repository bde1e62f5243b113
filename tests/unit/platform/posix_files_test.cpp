#include "platform/posix/posix_files.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "support/temp_folder.h"

namespace korvel::test {
namespace {

namespace fs = std::filesystem;

class PosixFiles : public testing::Test {
protected:
    std::string path(const std::string& name) const { return (folder.path() / name).string(); }
    static unsigned mode(const std::string& file) {
        return static_cast<unsigned>(fs::status(file).permissions());
    }
    // Entries in the folder: no temporary file was left behind.
    long entries() const { return std::distance(fs::directory_iterator(folder.path()), {}); }

    TempFolder folder;
    PosixFileSystem files{"/opt/korvel", {"/run/user/0", {}}};
};

TEST_F(PosixFiles, ByteFileIsCreatedPrivateAndKeepsItsContent) {
    std::array<std::uint8_t, 48> bytes{0xA5, 0x5A, 1}, back{};
    FileError error = FileError::Other;
    auto file = files.openByteFile(path("XCV.TMP"), error);
    ASSERT_TRUE(file && error == FileError::None);
    EXPECT_EQ(mode(path("XCV.TMP")), 0600U);
    EXPECT_FALSE(file->readAt(0, back));  // nothing there yet
    ASSERT_TRUE(file->writeAt(0, bytes));
    file = files.openByteFile(path("XCV.TMP"), error);
    ASSERT_TRUE(file && file->readAt(0, back));
    EXPECT_EQ(back, bytes);
}

// A link of our own is followed, and a save writes its target; another user's link is not,
// even in a folder of that user's; and a user's folder is never the settings folder of a
// program run by root with that user's HOME (only root can make these to try).
TEST_F(PosixFiles, LinksAreFollowedOnlyWhenTheirOwnerIsTrusted) {
    const fs::path target = folder.write("target", "SNTP 10.0.0.1        123 \n");
    fs::create_symlink(target, path("sntp.cfg"));
    EXPECT_EQ(files.readFirstLine(path("sntp.cfg")), "SNTP 10.0.0.1        123 ");
    ASSERT_EQ(files.replaceWithLine(path("sntp.cfg"), "SNTP 10.0.0.2        123 "),
              FileError::None);
    EXPECT_TRUE(fs::is_symlink(path("sntp.cfg")));
    EXPECT_EQ(folder.read(target), "SNTP 10.0.0.2        123 \n");
    if (::geteuid() != 0) {
        return;
    }
    fs::create_directories(path("home/.config/korvel"));
    ASSERT_EQ(::chown(path("home").c_str(), 4242, 4242), 0);  // theirs, higher up the way
    const std::string kept = std::getenv("XDG_CONFIG_HOME");
    ::setenv("XDG_CONFIG_HOME", path("home/.config").c_str(), 1);
    EXPECT_EQ(files.userFolder(UserFolder::Config, true), "");
    ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
    ASSERT_EQ(::chown(path(".").c_str(), 4242, 4242), 0);
    fs::create_symlink(target, path("planted"));
    ASSERT_EQ(::lchown(path("planted").c_str(), 4242, 4242), 0);
    FileError error = FileError::None;
    EXPECT_TRUE(!files.openAppend(path("planted"), error) && error == FileError::PathAccess);
    EXPECT_EQ(files.openByteFile(path("planted"), error), nullptr);
    EXPECT_EQ(files.replaceWithLine(path("planted"), "x"), FileError::PathAccess);
    EXPECT_EQ(files.readFirstLine(path("planted")), std::nullopt);
    EXPECT_EQ(folder.read(target), "SNTP 10.0.0.2        123 \n");
}

// A private folder is the user's own folder with mode 0700, never a link; else korvel-UID,
// unless that is open to others or another user's. A temporary folder that is missing (TMPDIR
// naming none) gives way to the system's /tmp, never to the root.
TEST_F(PosixFiles, PrivateFolderIsReallyPrivate) {
    const std::string own = path("korvel-" + std::to_string(::geteuid()));
    fs::create_directory(path("runtime"));
    fs::permissions(path("runtime"), static_cast<fs::perms>(0700));
    EXPECT_EQ(choosePrivateFolder(path("runtime"), folder.path()).path, path("runtime"));
    fs::create_symlink(path("runtime"), path("linked"));
    fs::create_directory(path("open"));
    fs::permissions(path("open"), static_cast<fs::perms>(0755));
    for (const std::string& preferred : {std::string(), path("linked"), path("open")}) {
        EXPECT_EQ(choosePrivateFolder(preferred, folder.path()).path, own) << preferred;
    }
    EXPECT_EQ(mode(own), 0700U);
    for (const std::string& temp : {std::string(), path("missing"), std::string("relative")}) {
        const auto [chosen, problem] = choosePrivateFolder("", temp);
        EXPECT_EQ((chosen + problem).rfind("/tmp/korvel-" + std::to_string(::geteuid()), 0), 0U)
            << temp << ": " << chosen << problem;
    }
    fs::permissions(own, static_cast<fs::perms>(0777));
    const auto [none, problem] = choosePrivateFolder("", folder.path());
    EXPECT_EQ(none + "|" + problem, "|" + own + " 可被其他用户访问");
    if (::geteuid() == 0) {  // only root can give it away
        fs::permissions(own, static_cast<fs::perms>(0700));
        ASSERT_EQ(::chown(own.c_str(), 4242, 4242), 0);
        EXPECT_EQ(choosePrivateFolder("", folder.path()).problem, own + " 属于其他用户");
    }
}

// A path that is not there and one that is no file: the program reports a wrong log path.
// A FIFO is refused at once instead of blocking the program until a writer comes; a device
// is no file either.
TEST_F(PosixFiles, OpenErrorsAreMapped) {
    folder.write("plain", "x");
    fs::create_directory(path("folder"));
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    for (const auto& [name, expected] : {std::pair{path("missing/file"), FileError::PathNotFound},
                                         {path("plain/file"), FileError::PathNotFound},
                                         {path("folder"), FileError::PathAccess},
                                         {path("fifo"), FileError::DeviceUnavailable},
                                         {std::string("/dev/full"), FileError::PathAccess}}) {
        FileError error = FileError::None;
        EXPECT_TRUE(!files.openAppend(name, error) && error == expected) << name;
    }
    FileError error = FileError::None;
    EXPECT_TRUE(!files.openByteFile(path("fifo"), error) && error == FileError::PathAccess);
    EXPECT_EQ(files.readFirstLine(path("fifo")), std::nullopt);
}

TEST_F(PosixFiles, ReplaceWritesOneLineKeepsTheModeAndLeavesNoTemporaryFile) {
    const std::string cfg = path("sntp.cfg");
    ASSERT_EQ(files.replaceWithLine(cfg, "SNTP 10.0.0.1        123 "), FileError::None);
    EXPECT_EQ(folder.read(cfg), "SNTP 10.0.0.1        123 \n");
    EXPECT_EQ(mode(cfg), 0644U);

    folder.write("sntp.cfg", "SNTP 203.107.6.88    1231\r\nSNTP 203.107.6.88    1231\r\n");
    fs::permissions(cfg, static_cast<fs::perms>(0640));
    ASSERT_EQ(files.replaceWithLine(cfg, "SNTP 192.168.100.200 5000"), FileError::None);
    EXPECT_EQ(folder.read(cfg), "SNTP 192.168.100.200 5000\n");
    EXPECT_EQ(mode(cfg), 0640U);
    EXPECT_EQ(entries(), 1);
    // The owner's file in a folder that takes no new file from them is rewritten in place (only
    // root can set that up; the save then runs as that user).
    if (::geteuid() != 0) {
        return;
    }
    fs::permissions(folder.path(), static_cast<fs::perms>(0755));
    ASSERT_EQ(::chown(cfg.c_str(), 65534, 65534), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::setgid(65534) || ::setuid(65534) ||
                files.replaceWithLine(cfg, "SNTP 10.0.0.2        123 ") != FileError::None);
    }
    int status = -1;
    EXPECT_TRUE(::waitpid(child, &status, 0) == child && status == 0);
    EXPECT_EQ(folder.read(cfg), "SNTP 10.0.0.2        123 \n");
}

// Two processes adding to one line at once lose nothing: each update re-reads under the lock.
// An update that changes nothing writes nothing.
TEST_F(PosixFiles, UpdatesFromTwoProcessesAtOnceAreAllKept) {
    const std::string holds = path("RATE-HOLD.TMP");
    constexpr int kRounds = 40;
    const auto add = [&](const std::string& word) {
        return files.updateLine(holds, [&](const std::optional<std::string>& line) {
            return line.value_or("") + " " + word;
        });
    };
    const pid_t child = ::fork();
    if (child == 0) {
        int failed = 0;
        for (int i = 0; i < kRounds; ++i) {
            failed += add("b" + std::to_string(i)) != FileError::None;
        }
        ::_exit(failed);
    }
    for (int i = 0; i < kRounds; ++i) {
        EXPECT_EQ(add("a" + std::to_string(i)), FileError::None);
    }
    int status = -1;
    ASSERT_TRUE(::waitpid(child, &status, 0) == child && status == 0);
    const std::string line = files.readFirstLine(holds).value_or("") + " ";
    for (int i = 0; i < kRounds; ++i) {
        for (const std::string word : {"a", "b"}) {
            EXPECT_NE(line.find(" " + word + std::to_string(i) + " "), std::string::npos)
                << word << i;
        }
    }
    const auto modified = fs::last_write_time(holds);
    EXPECT_EQ(files.updateLine(holds, [](const auto& old) { return old.value_or(""); }),
              FileError::None);
    EXPECT_EQ(fs::last_write_time(holds), modified);
    EXPECT_EQ(entries(), 2);  // and its lock
}

// Log lines reach the file at once and a later run appends. Out of space, a save leaves the
// old file whole and a log line that does not fit is reported lost.
TEST_F(PosixFiles, WriteThatRunsOutOfSpaceLeavesTheOldFileWholeAndFailsTheLogLine) {
    const std::string old = "SNTP 10.0.0.1        123 \nSNTP 203.107.6.88    1231\n";
    const std::string cfg = folder.write("sntp.cfg", old).string();
    FileError error = FileError::Other;
    std::unique_ptr<TextAppender> log;
    for (const char* line : {"12-06-2026  09:05:07   测时差", "0.123456"}) {
        log = files.openAppend(path("sync.log"), error);
        ASSERT_TRUE(log && log->appendLine(line));
    }
    EXPECT_EQ(folder.read("sync.log"), "12-06-2026  09:05:07   测时差\n0.123456\n");
    // A file-size limit makes the write fail part-way, as a full disk does.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit tiny{8, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    error = files.replaceWithLine(cfg, "SNTP 192.168.100.200 5000");
    const bool appended = log->appendLine("12-06-2026  09:05:08   测时差");
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_NE(error, FileError::None);
    EXPECT_FALSE(appended);
    EXPECT_EQ(folder.read(cfg), old);
    EXPECT_EQ(entries(), 2);  // and sync.log
}

TEST_F(PosixFiles, FirstLineEndsAtLfOrCrLf) {
    for (const auto& [content, line] : std::map<std::string, std::string>{
             {"SNTP 10.0.0.1 123 \r\nSNTP 203.107.6.88 1231\r\n", "SNTP 10.0.0.1 123 "},
             {"SNTP 10.0.0.1        123 \nsecond\n", "SNTP 10.0.0.1        123 "},
             {"no line end", "no line end"},
             {"\r\nsecond", ""},
             {"", ""},
             {"\xEF\xBB\xBFSNTP 10.0.0.1        123 \r\n", "SNTP 10.0.0.1        123 "},
             {std::string(5000, 'x') + "\r\nrest", std::string(5000, 'x')}}) {
        folder.write("sntp.cfg", content);
        EXPECT_EQ(files.readFirstLine(path("sntp.cfg")), line) << content.substr(0, 30);
    }
    EXPECT_EQ(files.readFirstLine(path("missing.cfg")), std::nullopt);
}

}  // namespace
}  // namespace korvel::test
