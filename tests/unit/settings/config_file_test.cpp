#include "settings/config_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_files.h"

namespace korvel {
namespace {

using test::FakeFileSystem;
using testing::ElementsAre;

constexpr const char* kCfgPath = "/opt/korvel/sntp.cfg";
constexpr const char* kDefaultLine = "SNTP 203.107.6.88    1231";
constexpr const char* kOwnLine = "SNTP 10.0.0.1        123 ";

TEST(ConfigFile, EveryStartAppendsTheDefaultLineAndTheFirstLineDecides) {
    FakeFileSystem files;
    EXPECT_EQ(loadConfig(files, kCfgPath).cfgLine, kDefaultLine);
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre(kDefaultLine));

    files.textFiles[kCfgPath] = {kOwnLine};
    const LoadedConfig loaded = loadConfig(files, kCfgPath);
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre(kOwnLine, kDefaultLine));
    EXPECT_EQ(loaded.cfgLine, kOwnLine);
    EXPECT_EQ(loaded.fields.localPort, 123);
}

// A full disk leaves an empty file, which has no line to offer.
TEST(ConfigFile, FullDiskAtTheFirstStartFallsBackToTheDefaultLineAndReports) {
    FakeFileSystem files;
    files.fullFolders.insert("/opt/korvel");
    const LoadedConfig loaded = loadConfig(files, kCfgPath);
    EXPECT_EQ(loaded.error, FileError::DiskFull);
    EXPECT_EQ(loaded.cfgLine, kDefaultLine);
}

}  // namespace
}  // namespace korvel
