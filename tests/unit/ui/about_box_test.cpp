#include "ui/form/about_box.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_feedback.h"
#include "support/fake_files.h"

namespace korvel::test {
namespace {

const std::string kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

RegistryValue stringValue(const std::string& text) {
    std::vector<std::uint8_t> data = bytesOf(text);
    data.push_back(0);
    return {kRegString, data};
}

// Values by key and value name; remembers every key asked for.
class FakeRegistry final : public Registry {
public:
    std::optional<RegistryValue> readValue(RegistryRoot root, const std::string& keyName,
                                           const std::string& valueName) override {
        keysRead.push_back(keyName);
        const auto found = values.find({keyName, valueName});
        if (root != RegistryRoot::LocalMachine || found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    std::map<std::pair<std::string, std::string>, RegistryValue> values;
    std::vector<std::string> keysRead;
};

class FakeLauncher final : public ProgramLauncher {
public:
    bool start(const std::string& path) override {
        started.push_back(path);
        return startWorks && !path.empty();
    }
    std::vector<std::string> started;
    bool startWorks = true;
};

struct StartSysInfoTest : ::testing::Test {
    FakeRegistry registry;
    FakeFileSystem files;
    FakeLauncher launcher;
    ScriptedMessageBox messageBox;
    SysInfoServices services{registry, files, launcher, messageBox};
};

TEST_F(StartSysInfoTest, FirstValuePresentStartsItWithoutReadingTheSecondKey) {
    registry.values[{kMsInfoKey, "PATH"}] = stringValue("C:\\Tools\\msinfo32.exe");
    registry.values[{kLocationKey, "MSINFO"}] = stringValue("C:\\Other");
    StartSysInfo(services);
    EXPECT_EQ(registry.keysRead, std::vector<std::string>{kMsInfoKey});
    EXPECT_EQ(launcher.started, std::vector<std::string>{"C:\\Tools\\msinfo32.exe"});
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(StartSysInfoTest, SecondKeyGivesTheFolderOfMsInfo32) {
    registry.values[{kLocationKey, "MSINFO"}] = stringValue("C:\\Shared\\MSINFO");
    files.textFiles["C:\\Shared\\MSINFO\\MSINFO32.EXE"] = {};
    StartSysInfo(services);
    EXPECT_EQ(registry.keysRead, (std::vector<std::string>{kMsInfoKey, kLocationKey}));
    EXPECT_EQ(launcher.started, std::vector<std::string>{"C:\\Shared\\MSINFO\\MSINFO32.EXE"});
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(StartSysInfoTest, NoToolToStartShowsTheMessageAndStartsNothing) {
    struct Case {
        const char* name;
        std::optional<RegistryValue> location;
    };
    const Case cases[] = {
        {"second key without MSINFO32.EXE", stringValue("C:\\Shared\\MSINFO")},
        {"no key at all", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry emptyRegistry;
        FakeLauncher idleLauncher;
        ScriptedMessageBox box;
        if (c.location) {
            emptyRegistry.values[{kLocationKey, "MSINFO"}] = *c.location;
        }
        StartSysInfo({emptyRegistry, files, idleLauncher, box});
        EXPECT_TRUE(idleLauncher.started.empty());
        EXPECT_EQ(box.shown, std::vector<std::string>{"此时系统信息无效"});
    }
}

TEST_F(StartSysInfoTest, AToolThatCannotStartShowsTheMessage) {
    registry.values[{kMsInfoKey, "PATH"}] = stringValue("/usr/bin/hardinfo");
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
