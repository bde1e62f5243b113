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

TEST(ConfigFile, UnusableFolderFallsBackToTheDefaultLineAndReports) {
    FakeFileSystem files;
    LoadedConfig loaded = loadConfig(files, "/gone/sntp.cfg");
    EXPECT_EQ(loaded.error, FileError::PathNotFound);
    EXPECT_EQ(loaded.cfgLine, kDefaultLine);
    EXPECT_FALSE(files.exists("/gone/sntp.cfg"));

    files.fullFolders.insert("/opt/korvel");  // a full disk at the first start
    loaded = loadConfig(files, kCfgPath);
    EXPECT_EQ(loaded.error, FileError::DiskFull);
    EXPECT_EQ(loaded.fields.localPort, 1231);
}

}  // namespace
}  // namespace korvel
