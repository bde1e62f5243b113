#include "ui/form/about_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_feedback.h"
#include "support/fake_files.h"
#include "support/fake_system.h"

namespace korvel::test {
namespace {

using Texts = std::vector<std::string>;

// The look-up order: the tool's own PATH value first; only when it is missing, the shared
// tools folder, and only when MSINFO32.EXE is there.
TEST(StartSysInfo, LooksUpTheToolInOrderAndSaysSoWhenThereIsNone) {
    const struct {
        const char* path;      // PATH under the tool's key; nullptr: absent
        const char* location;  // MSINFO under the shared tools key; nullptr: absent
        bool msInfo32There, startWorks;
        Texts started;
        bool message;
    } cases[] = {
        {"C:\\Tools\\tool.exe", "C:\\S", true, true, {"C:\\Tools\\tool.exe"}, false},
        {nullptr, "C:\\S", true, true, {"C:\\S\\MSINFO32.EXE"}, false},
        {nullptr, "C:\\S", false, true, {}, true},
        {nullptr, nullptr, false, true, {}, true},
        {"/usr/bin/hardinfo", nullptr, false, false, {"/usr/bin/hardinfo"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.path ? c.path : "-") << " " << c.msInfo32There);
        FakeRegistry registry;
        FakeFileSystem files;
        FakeLauncher launcher;
        ScriptedMessageBox messageBox;
        if (c.path) {
            registry.setString("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", c.path);
        }
        if (c.location) {
            registry.setString("SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", c.location);
        }
        if (c.msInfo32There) {
            files.textFiles["C:\\S\\MSINFO32.EXE"] = {};
        }
        launcher.startWorks = c.startWorks;
        StartSysInfo({registry, files, launcher, messageBox});
        EXPECT_EQ(launcher.started, c.started);
        EXPECT_EQ(messageBox.shown, c.message ? Texts{"此时系统信息无效"} : Texts{});
    }
}

TEST(GetKeyValue, TextByValueType) {
    const struct {
        const char* name;
        std::optional<RegistryValue> value;
        std::string expected;
    } cases[] = {
        {"string drops its zero byte", RegistryValue{kRegString, {'a', 'b', 0}}, "ab"},
        {"only the last zero byte goes", RegistryValue{kRegString, {'a', 0, 0}}, {"a\0", 2}},
        {"number as decimal", RegistryValue{kRegNumber, {0x2A, 0, 0, 0}}, "42"},
        {"all bits set", RegistryValue{kRegNumber, {0xFF, 0xFF, 0xFF, 0xFF}}, "4294967295"},
        {"other type keeps the text", RegistryValue{kRegExpandString, {'x', 0}}, "before"},
        {"missing value empties the text", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry registry;
        if (c.value) {
            registry.values[{"K", "V"}] = *c.value;
        }
        std::string text = "before";
        EXPECT_EQ(GetKeyValue(registry, RegistryRoot::LocalMachine, "K", "V", text),
                  c.value.has_value());
        EXPECT_EQ(text, c.expected);
    }
}

}  // namespace
}  // namespace korvel::test
