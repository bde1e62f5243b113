#include "platform/posix/posix_files.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace korvel {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::IsEmpty;

// Each test gets a fresh folder under /tmp, removed afterwards.
class PosixFiles : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "korvel-files-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::string path(const std::string& name) const { return (m_folder / name).string(); }

    static void write(const std::string& file, const std::string& content) {
        std::ofstream(file, std::ios::binary) << content;
    }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static unsigned mode(const std::string& file) {
        struct stat info {};
        EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
        return info.st_mode & 07777;
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    PosixFileSystem files{"/opt/korvel", "/run/user/0"};

private:
    fs::path m_folder;
};

TEST_F(PosixFiles, ByteFileIsCreatedPrivateAndKeepsItsContent) {
    const std::string scratch = path("XCV.TMP");
    std::array<std::uint8_t, 48> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(200 + i);
    }
    {
        FileError error = FileError::Other;
        auto file = files.openByteFile(scratch, error);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(error, FileError::None);
        EXPECT_EQ(mode(scratch), 0600U);
        std::array<std::uint8_t, 48> back{};
        EXPECT_FALSE(file->readAt(0, back));  // nothing there yet
        ASSERT_TRUE(file->writeAt(0, bytes));
        ASSERT_TRUE(file->readAt(0, back));
        EXPECT_EQ(back, bytes);
    }
    FileError error = FileError::Other;
    auto again = files.openByteFile(scratch, error);
    ASSERT_NE(again, nullptr);
    std::array<std::uint8_t, 48> back{};
    ASSERT_TRUE(again->readAt(0, back));
    EXPECT_EQ(back, bytes);
}

TEST_F(PosixFiles, ByteFileIsNeverOpenedThroughALink) {
    const std::string target = path("target");
    write(target, "precious");
    fs::create_symlink(target, path("link"));
    fs::create_symlink(path("absent"), path("dangling"));

    for (const char* name : {"link", "dangling"}) {
        SCOPED_TRACE(name);
        FileError error = FileError::None;
        EXPECT_EQ(files.openByteFile(path(name), error), nullptr);
        EXPECT_EQ(error, FileError::PathAccess);
    }
    EXPECT_EQ(read(target), "precious");
    EXPECT_FALSE(fs::exists(path("absent")));
}

TEST_F(PosixFiles, ByteFileOpenErrorsAreMapped) {
    write(path("plain"), "x");
    fs::create_directory(path("folder"));
    const struct {
        std::string path;
        FileError error;
    } cases[] = {
        {path("missing/XCV.TMP"), FileError::PathNotFound},
        {path("plain/XCV.TMP"), FileError::PathNotFound},
        {path("folder"), FileError::PathAccess},
    };
    for (const auto& c : cases) {
        FileError error = FileError::None;
        EXPECT_EQ(files.openByteFile(c.path, error), nullptr) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
    }
}

TEST_F(PosixFiles, AppendOpenErrorsAreMapped) {
    write(path("plain"), "x");
    fs::create_directory(path("folder"));
    const struct {
        std::string path;
        FileError error;
    } cases[] = {
        {path("missing/12-06-2026.log"), FileError::PathNotFound},
        {path("plain/12-06-2026.log"), FileError::PathNotFound},
        {path("folder"), FileError::PathAccess},
    };
    for (const auto& c : cases) {
        FileError error = FileError::None;
        EXPECT_EQ(files.openAppend(c.path, error), nullptr) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
    }
}

TEST_F(PosixFiles, AppendToAReadOnlyFolderIsPermissionDenied) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    fs::create_directory(path("locked"));
    fs::permissions(path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    FileError error = FileError::None;
    EXPECT_EQ(files.openAppend(path("locked/12-06-2026.log"), error), nullptr);
    EXPECT_EQ(error, FileError::PermissionDenied);
    fs::permissions(path("locked"), fs::perms::owner_all);
}

TEST_F(PosixFiles, AppendedLinesReachTheFileAtOnceAndLaterRunsAppend) {
    const std::string log = path("12-06-2026.log");
    FileError error = FileError::Other;
    auto first = files.openAppend(log, error);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->appendLine("12-06-2026  09:05:07   测时差"));
    EXPECT_EQ(read(log), "12-06-2026  09:05:07   测时差\n");
    first.reset();

    auto second = files.openAppend(log, error);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(second->appendLine("0.123456"));
    EXPECT_EQ(read(log), "12-06-2026  09:05:07   测时差\n0.123456\n");
}

TEST_F(PosixFiles, ReplaceWritesOneLineAndLeavesNoTemporaryFile) {
    const std::string cfg = path("sntp.cfg");
    ASSERT_EQ(files.replaceWithLine(cfg, "SNTP 10.0.0.1        123 "), FileError::None);
    EXPECT_EQ(read(cfg), "SNTP 10.0.0.1        123 \n");
    EXPECT_EQ(mode(cfg), 0644U);

    write(cfg, "SNTP 203.107.6.88    1231\r\nSNTP 203.107.6.88    1231\r\n");
    ::chmod(cfg.c_str(), 0640);
    ASSERT_EQ(files.replaceWithLine(cfg, "SNTP 192.168.100.200 5000"), FileError::None);
    EXPECT_EQ(read(cfg), "SNTP 192.168.100.200 5000\n");
    EXPECT_EQ(mode(cfg), 0640U);
    EXPECT_THAT(entries(), ElementsAre("sntp.cfg"));
}

TEST_F(PosixFiles, FailedReplaceLeavesTheOldContentAndNoTemporaryFile) {
    fs::create_directory(path("sntp.cfg"));
    write(path("sntp.cfg/inside"), "kept");
    EXPECT_EQ(files.replaceWithLine(path("sntp.cfg"), "SNTP 10.0.0.1        123 "),
              FileError::PathAccess);
    EXPECT_EQ(read(path("sntp.cfg/inside")), "kept");
    EXPECT_THAT(entries(), ElementsAre("sntp.cfg"));

    EXPECT_EQ(files.replaceWithLine(path("missing/sntp.cfg"), "SNTP"), FileError::PathNotFound);
}

TEST_F(PosixFiles, WriteThatRunsOutOfSpaceLeavesTheOldFileWhole) {
    const std::string cfg = path("sntp.cfg");
    const std::string old = "SNTP 10.0.0.1        123 \nSNTP 203.107.6.88    1231\n";
    write(cfg, old);
    // A file-size limit makes the write fail part-way, as a full disk does.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tiny = saved;
    tiny.rlim_cur = 8;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const FileError error = files.replaceWithLine(cfg, "SNTP 192.168.100.200 5000");
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);

    EXPECT_NE(error, FileError::None);
    EXPECT_EQ(read(cfg), old);
    EXPECT_THAT(entries(), ElementsAre("sntp.cfg"));
}

TEST_F(PosixFiles, FirstLineEndsAtLfOrCrLf) {
    const struct {
        const char* content;
        const char* line;
    } cases[] = {
        {"SNTP 10.0.0.1        123 \r\nSNTP 203.107.6.88    1231\r\n", "SNTP 10.0.0.1        123 "},
        {"SNTP 10.0.0.1        123 \nsecond\n", "SNTP 10.0.0.1        123 "},
        {"no line end", "no line end"},
        {"\r\nsecond", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        write(path("sntp.cfg"), c.content);
        EXPECT_EQ(files.readFirstLine(path("sntp.cfg")), std::optional<std::string>(c.line))
            << c.content;
    }
    const std::string longLine(5000, 'x');
    write(path("long"), longLine + "\r\nrest");
    EXPECT_EQ(files.readFirstLine(path("long")), longLine);
}

TEST_F(PosixFiles, FirstLineOfSomethingUnreadableIsNothing) {
    fs::create_directory(path("folder"));
    EXPECT_EQ(files.readFirstLine(path("missing.cfg")), std::nullopt);
    EXPECT_EQ(files.readFirstLine(path("folder")), std::nullopt);
    EXPECT_FALSE(files.exists(path("missing.cfg")));
    EXPECT_TRUE(files.exists(path("folder")));
}

}  // namespace
}  // namespace korvel
