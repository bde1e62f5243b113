#include "settings/config_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

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
    LoadedConfig loaded = loadConfig(files, kCfgPath);
    EXPECT_EQ(loaded.error, FileError::None);
    EXPECT_EQ(loaded.cfgLine, kDefaultLine);
    EXPECT_EQ(loaded.fields.addressField, "203.107.6.88   ");
    EXPECT_EQ(loaded.fields.portField, "1231");
    EXPECT_EQ(loaded.fields.localPort, 1231);
    loadConfig(files, kCfgPath);
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre(kDefaultLine, kDefaultLine));

    files.textFiles[kCfgPath] = {kOwnLine};
    loaded = loadConfig(files, kCfgPath);
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre(kOwnLine, kDefaultLine));
    EXPECT_EQ(loaded.cfgLine, kOwnLine);
    EXPECT_EQ(loaded.fields.localPort, 123);
}

TEST(ConfigFile, UnusableFolderFallsBackToTheDefaultLineAndReports) {
    const struct {
        const char* what;
        const char* path;
        std::function<void(FakeFileSystem&)> prepare;
        FileError error;
        const char* cfgLine;
        std::int32_t localPort;
    } cases[] = {
        {"missing folder", "/gone/sntp.cfg", [](FakeFileSystem&) {}, FileError::PathNotFound,
         kDefaultLine, 1231},
        {"full disk at the first start", kCfgPath,
         [](FakeFileSystem& f) { f.fullFolders.insert("/opt/korvel"); }, FileError::DiskFull,
         kDefaultLine, 1231},
        {"read-only folder, file there", kCfgPath,
         [](FakeFileSystem& f) {
             f.textFiles[kCfgPath] = {kOwnLine};
             f.readOnlyFolders.insert("/opt/korvel");
         },
         FileError::None, kOwnLine, 123},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFileSystem files;
        c.prepare(files);
        const LoadedConfig loaded = loadConfig(files, c.path);
        EXPECT_EQ(loaded.error, c.error);
        EXPECT_EQ(loaded.cfgLine, c.cfgLine);
        EXPECT_EQ(loaded.fields.localPort, c.localPort);
        EXPECT_EQ(files.lines(c.path).size(), c.error == FileError::None ? 1U : 0U);
    }
}

TEST(ConfigFile, LinesAreTakenApartByPosition) {
    const struct {
        const char* what;
        std::string line;
        std::string address;
        std::string port;
        std::int32_t localPort;
    } cases[] = {
        {"full 15-character address", "SNTP 192.168.100.200 5000", "192.168.100.200", "5000", 5000},
        {"tag not checked", "XXXX 10.1.2.3        4000", "10.1.2.3       ", "4000", 4000},
        {"line ends in the address", "SNTP 10.0.0.1", "10.0.0.1", "", 0},
        {"line ends in the port", "SNTP 10.0.0.1        12", "10.0.0.1       ", "12", 12},
        {"longer line", "SNTP 10.0.0.1        1234567", "10.0.0.1       ", "1234", 1234},
        {"empty line", "", "", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ConfigFields fields = parseConfigLine(c.line);
        EXPECT_EQ(fields.addressField, c.address);
        EXPECT_EQ(fields.portField, c.port);
        EXPECT_EQ(fields.localPort, c.localPort);
    }
}

// The first line is read as one text field, and the port as a number rounded half to even.
TEST(ConfigFile, FirstLineIsOneTextFieldAndThePortANumber) {
    const struct {
        std::string line;
        std::string field;
    } lines[] = {
        {"SNTP 10.0,0.1        123 ", "SNTP 10.0"},  // ends at the first comma
        {"   SNTP 10.0.0.1        123 ", "SNTP 10.0.0.1        123 "},
        {"\"SNTP 10.0.0.1, 7\" tail", "SNTP 10.0.0.1, 7"},
        {"", ""},
    };
    for (const auto& c : lines) {
        EXPECT_EQ(firstTextField(c.line), c.field) << c.line;
    }
    const struct {
        const char* field;
        std::int32_t port;
    } ports[] = {
        {"12.5", 12}, {"13.5", 14}, {"abcd", 0}, {"    ", 0}, {" 80 ", 80},
        {"1 2 ", 12}, {"12ab", 12}, {"-5", -5},  {".5", 0},
    };
    for (const auto& c : ports) {
        EXPECT_EQ(portNumber(c.field), c.port) << '"' << c.field << '"';
    }
}

}  // namespace
}  // namespace korvel
