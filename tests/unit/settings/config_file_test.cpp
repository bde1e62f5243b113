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

// A full disk at the first start leaves an empty file, which has no line to offer.
TEST(ConfigFile, EveryStartAppendsTheDefaultLineAndTheFirstLineDecides) {
    FakeFileSystem files;
    files.fullFolders.insert("/opt/korvel");
    const LoadedConfig full = loadConfig(files, kCfgPath);
    EXPECT_TRUE(full.error == FileError::DiskFull && full.cfgLine == kDefaultLine);
    files.fullFolders.clear();
    EXPECT_EQ(loadConfig(files, kCfgPath).cfgLine, kDefaultLine);
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre(kDefaultLine));

    files.textFiles[kCfgPath] = {kOwnLine};
    const LoadedConfig loaded = loadConfig(files, kCfgPath);
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre(kOwnLine, kDefaultLine));
    EXPECT_TRUE(loaded.cfgLine == kOwnLine && loaded.fields.localPort == 123);
}

}  // namespace
}  // namespace korvel
