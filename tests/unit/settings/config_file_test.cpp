#include "settings/config_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "common/utf8_text.h"
#include "support/fake_files.h"

namespace korvel {
namespace {

using test::FakeFileSystem;
using testing::ElementsAre;

constexpr const char* kCfgPath = "/opt/korvel/sntp.cfg";
constexpr const char* kDefaultLine = "SNTP 203.107.6.88    1231";

TEST(ConfigFile, DefaultLineIsTwentyFiveCharactersWithTheBuiltInServer) {
    EXPECT_EQ(defaultConfigLine(), kDefaultLine);
    EXPECT_EQ(characterCount(defaultConfigLine()), 25U);
}

TEST(ConfigFile, FirstStartInAnEmptyFolderCreatesTheFileWithTheDefaultLine) {
    FakeFileSystem files;
    const LoadedConfig loaded = loadConfig(files, kCfgPath);
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre(kDefaultLine));
    EXPECT_EQ(loaded.cfgLine, kDefaultLine);
    EXPECT_EQ(loaded.fields.addressField, "203.107.6.88   ");
    EXPECT_EQ(loaded.fields.portField, "1231");
    EXPECT_EQ(loaded.fields.localPort, 1231);
    EXPECT_EQ(loaded.error, FileError::None);
}

TEST(ConfigFile, EveryStartAppendsADefaultLineAndTheFirstLineDecides) {
    FakeFileSystem files;
    for (int start = 0; start < 3; ++start) {
        loadConfig(files, kCfgPath);
    }
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre(kDefaultLine, kDefaultLine, kDefaultLine));

    const std::string own = "SNTP 10.0.0.1        123 ";
    files.textFiles[kCfgPath] = {own};
    LoadedConfig loaded;
    for (int start = 0; start < 3; ++start) {
        loaded = loadConfig(files, kCfgPath);
    }
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre(own, kDefaultLine, kDefaultLine, kDefaultLine));
    EXPECT_EQ(loaded.cfgLine, own);
    EXPECT_EQ(loaded.fields.localPort, 123);
}

TEST(ConfigFile, SaveReplacesTheFileByOneTwentyFiveCharacterLine) {
    FakeFileSystem files;
    loadConfig(files, kCfgPath);
    loadConfig(files, kCfgPath);
    ASSERT_EQ(saveConfig(files, kCfgPath, "10.0.0.1       ", "123 "), FileError::None);
    // "SNTP ", 8 address characters, 7 filling blanks and the separator, 3 digits, 1 blank.
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre("SNTP 10.0.0.1        123 "));
    EXPECT_EQ(characterCount(files.lines(kCfgPath).at(0)), 25U);

    const LoadedConfig loaded = loadConfig(files, kCfgPath);
    EXPECT_EQ(loaded.fields.addressField, "10.0.0.1       ");
    EXPECT_EQ(loaded.fields.localPort, 123);
}

TEST(ConfigFile, LinesAreTakenApartByPosition) {
    const struct {
        const char* what;
        std::string line;
        std::string address;
        std::string port;
        std::int32_t localPort;
    } cases[] = {
        {"written by the program", kDefaultLine, "203.107.6.88   ", "1231", 1231},
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

TEST(ConfigFile, FormattedLineParsesBackToItsFields) {
    const std::string line = formatConfigLine("192.168.100.200", "5000");
    EXPECT_EQ(line, "SNTP 192.168.100.200 5000");
    EXPECT_EQ(parseConfigLine(line).addressField, "192.168.100.200");
    EXPECT_EQ(parseConfigLine(line).portField, "5000");
}

TEST(ConfigFile, FirstLineIsReadAsOneTextField) {
    const struct {
        std::string line;
        std::string field;
    } cases[] = {
        {"SNTP 10.0.0.1        123 ", "SNTP 10.0.0.1        123 "},
        {"SNTP 10.0,0.1        123 ", "SNTP 10.0"},  // ends at the first comma
        {"   SNTP 10.0.0.1        123 ", "SNTP 10.0.0.1        123 "},
        {"\"SNTP 10.0.0.1, 7\" tail", "SNTP 10.0.0.1, 7"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(firstTextField(c.line), c.field) << c.line;
    }
}

TEST(ConfigFile, CommaInsideTheAddressFieldLeavesNoPort) {
    FakeFileSystem files;
    files.textFiles[kCfgPath] = {"SNTP 10.0,0.1        123 "};
    const LoadedConfig loaded = loadConfig(files, kCfgPath);
    EXPECT_EQ(loaded.cfgLine, "SNTP 10.0");
    EXPECT_EQ(loaded.fields.addressField, "10.0");
    EXPECT_EQ(loaded.fields.portField, "");
    EXPECT_EQ(loaded.fields.localPort, 0);
}

TEST(ConfigFile, PortFieldIsReadAsANumberRoundedHalfToEven) {
    const struct {
        const char* field;
        std::int32_t port;
    } cases[] = {
        {"12.5", 12},  {"13.5", 14}, {"abcd", 0},  {"", 0},      {"    ", 0},
        {"123 ", 123}, {" 80 ", 80}, {"1 2 ", 12}, {"12ab", 12}, {"5000", 5000},
        {"-5", -5},    {".5", 0},    {"1.5", 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(portNumber(c.field), c.port) << '"' << c.field << '"';
    }
}

TEST(ConfigFile, FailingSaveKeepsTheOldFileAndReportsTheError) {
    const struct {
        const char* what;
        void (*breakFolder)(FakeFileSystem&);
        FileError error;
    } cases[] = {
        {"read-only folder", [](FakeFileSystem& f) { f.readOnlyFolders.insert("/opt/korvel"); },
         FileError::PermissionDenied},
        {"full disk", [](FakeFileSystem& f) { f.fullFolders.insert("/opt/korvel"); },
         FileError::DiskFull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFileSystem files;
        files.textFiles[kCfgPath] = {"SNTP 10.0.0.1        123 ", kDefaultLine};
        c.breakFolder(files);
        EXPECT_EQ(saveConfig(files, kCfgPath, "10.9.9.9       ", "999 "), c.error);
        EXPECT_THAT(files.lines(kCfgPath), ElementsAre("SNTP 10.0.0.1        123 ", kDefaultLine));
    }
}

TEST(ConfigFile, UnusableFolderFallsBackToTheDefaultLineAndReports) {
    FakeFileSystem files;
    const LoadedConfig loaded = loadConfig(files, "/gone/sntp.cfg");
    EXPECT_EQ(loaded.error, FileError::PathNotFound);
    EXPECT_EQ(loaded.cfgLine, kDefaultLine);
    EXPECT_EQ(loaded.fields.addressField, "203.107.6.88   ");
    EXPECT_EQ(loaded.fields.localPort, 1231);
    EXPECT_FALSE(files.exists("/gone/sntp.cfg"));
}

TEST(ConfigFile, ReadOnlyFolderStillReadsTheExistingFile) {
    FakeFileSystem files;
    files.textFiles[kCfgPath] = {"SNTP 10.0.0.1        123 "};
    files.readOnlyFolders.insert("/opt/korvel");
    const LoadedConfig loaded = loadConfig(files, kCfgPath);
    EXPECT_EQ(loaded.cfgLine, "SNTP 10.0.0.1        123 ");
    EXPECT_EQ(loaded.fields.localPort, 123);
    EXPECT_THAT(files.lines(kCfgPath), ElementsAre("SNTP 10.0.0.1        123 "));
}

TEST(ConfigFile, FullDiskAtFirstStartFallsBackToTheDefaultLineAndReports) {
    FakeFileSystem files;
    files.fullFolders.insert("/opt/korvel");
    const LoadedConfig loaded = loadConfig(files, kCfgPath);
    EXPECT_EQ(loaded.error, FileError::DiskFull);
    EXPECT_EQ(loaded.cfgLine, kDefaultLine);
    EXPECT_EQ(loaded.fields.localPort, 1231);
}

}  // namespace
}  // namespace korvel
