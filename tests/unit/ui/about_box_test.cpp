#include "ui/form/about_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_feedback.h"
#include "support/fake_files.h"
#include "support/fake_system.h"

namespace korvel::test {
namespace {

const std::string kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

struct StartSysInfoTest : ::testing::Test {
    FakeRegistry registry;
    FakeFileSystem files;
    FakeLauncher launcher;
    ScriptedMessageBox messageBox;
    SysInfoServices services{registry, files, launcher, messageBox};
};

TEST_F(StartSysInfoTest, FirstValuePresentStartsItWithoutReadingTheSecondKey) {
    registry.setString(kMsInfoKey, "PATH", "C:\\Tools\\msinfo32.exe");
    registry.setString(kLocationKey, "MSINFO", "C:\\Other");
    StartSysInfo(services);
    EXPECT_EQ(registry.keysRead, std::vector<std::string>{kMsInfoKey});
    EXPECT_EQ(launcher.started, std::vector<std::string>{"C:\\Tools\\msinfo32.exe"});
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(StartSysInfoTest, SecondKeyGivesTheFolderOfMsInfo32) {
    registry.setString(kLocationKey, "MSINFO", "C:\\Shared\\MSINFO");
    files.textFiles["C:\\Shared\\MSINFO\\MSINFO32.EXE"] = {};
    StartSysInfo(services);
    EXPECT_EQ(registry.keysRead, (std::vector<std::string>{kMsInfoKey, kLocationKey}));
    EXPECT_EQ(launcher.started, std::vector<std::string>{"C:\\Shared\\MSINFO\\MSINFO32.EXE"});
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(StartSysInfoTest, NoToolToStartShowsTheMessageAndStartsNothing) {
    struct Case {
        const char* name;
        const char* location;  // nullptr: no such key
    };
    const Case cases[] = {
        {"second key without MSINFO32.EXE", "C:\\Shared\\MSINFO"},
        {"no key at all", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry emptyRegistry;
        FakeLauncher idleLauncher;
        ScriptedMessageBox box;
        if (c.location != nullptr) {
            emptyRegistry.setString(kLocationKey, "MSINFO", c.location);
        }
        StartSysInfo({emptyRegistry, files, idleLauncher, box});
        EXPECT_TRUE(idleLauncher.started.empty());
        EXPECT_EQ(box.shown, std::vector<std::string>{"此时系统信息无效"});
    }
}

TEST_F(StartSysInfoTest, AToolThatCannotStartShowsTheMessage) {
    registry.setString(kMsInfoKey, "PATH", "/usr/bin/hardinfo");
    launcher.startWorks = false;
    StartSysInfo(services);
    EXPECT_EQ(messageBox.shown, std::vector<std::string>{"此时系统信息无效"});
}

TEST_F(StartSysInfoTest, AnExpandableStringPathCountsAsFoundButEmpty) {
    registry.values[{kMsInfoKey, "PATH"}] = {kRegExpandString, bytesOf("%ProgramFiles%\\x")};
    StartSysInfo(services);
    EXPECT_EQ(registry.keysRead, std::vector<std::string>{kMsInfoKey});
    EXPECT_EQ(launcher.started, std::vector<std::string>{""});
    EXPECT_EQ(messageBox.shown, std::vector<std::string>{"此时系统信息无效"});
}

TEST(GetKeyValue, TextByValueType) {
    struct Case {
        const char* name;
        RegistryValue value;
        std::string expected;
    };
    using Bytes = std::vector<std::uint8_t>;
    const Case cases[] = {
        {"string drops its zero byte", {kRegString, Bytes{'a', 'b', 0}}, "ab"},
        {"string without zero byte", {kRegString, Bytes{'a', 'b'}}, "ab"},
        {"only the last zero byte goes", {kRegString, Bytes{'a', 0, 0}}, std::string("a\0", 2)},
        {"empty string", {kRegString, Bytes{0}}, ""},
        {"number as decimal", {kRegNumber, Bytes{0x2A, 0, 0, 0}}, "42"},
        {"number whose high bytes are zero", {kRegNumber, Bytes{0x00, 0x01, 0, 0}}, "256"},
        {"number with all bits set", {kRegNumber, Bytes{0xFF, 0xFF, 0xFF, 0xFF}}, "4294967295"},
        {"other type keeps the text", {kRegExpandString, Bytes{'x', 0}}, "before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry registry;
        registry.values[{"K", "V"}] = c.value;
        std::string text = "before";
        EXPECT_TRUE(GetKeyValue(registry, RegistryRoot::LocalMachine, "K", "V", text));
        EXPECT_EQ(text, c.expected);
    }
}

TEST(GetKeyValue, MissingValueEmptiesTheText) {
    FakeRegistry registry;
    std::string text = "before";
    EXPECT_FALSE(GetKeyValue(registry, RegistryRoot::LocalMachine, "K", "V", text));
    EXPECT_EQ(text, "");
}

}  // namespace
}  // namespace korvel::test
