#include "ui/form/about_box.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/fake_feedback.h"
#include "support/fake_files.h"
#include "support/fake_system.h"

namespace korvel::test {
namespace {

using Texts = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

const std::string kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

struct SysInfoWorld {
    FakeRegistry registry;
    FakeFileSystem files;
    FakeLauncher launcher;
    ScriptedMessageBox messageBox;
};

// The look-up order: the tool's own PATH value first; only when it is missing, the shared
// tools folder, and only when MSINFO32.EXE is there.
TEST(StartSysInfo, LooksUpTheToolInOrderAndSaysSoWhenThereIsNone) {
    const struct {
        const char* what;
        std::function<void(SysInfoWorld&)> prepare;
        Texts keysRead;
        Texts started;
        bool message;
    } cases[] = {
        {"first value present",
         [](SysInfoWorld& w) {
             w.registry.setString(kMsInfoKey, "PATH", "C:\\Tools\\msinfo32.exe");
             w.registry.setString(kLocationKey, "MSINFO", "C:\\Other");
         },
         {kMsInfoKey},
         {"C:\\Tools\\msinfo32.exe"},
         false},
        {"second key with MSINFO32.EXE",
         [](SysInfoWorld& w) {
             w.registry.setString(kLocationKey, "MSINFO", "C:\\Shared\\MSINFO");
             w.files.textFiles["C:\\Shared\\MSINFO\\MSINFO32.EXE"] = {};
         },
         {kMsInfoKey, kLocationKey},
         {"C:\\Shared\\MSINFO\\MSINFO32.EXE"},
         false},
        {"second key without MSINFO32.EXE",
         [](SysInfoWorld& w) { w.registry.setString(kLocationKey, "MSINFO", "C:\\Shared"); },
         {kMsInfoKey, kLocationKey},
         {},
         true},
        {"no key at all", [](SysInfoWorld&) {}, {kMsInfoKey, kLocationKey}, {}, true},
        {"a tool that cannot start",
         [](SysInfoWorld& w) {
             w.registry.setString(kMsInfoKey, "PATH", "/usr/bin/hardinfo");
             w.launcher.startWorks = false;
         },
         {kMsInfoKey},
         {"/usr/bin/hardinfo"},
         true},
        {"an expandable string counts as found but empty",
         [](SysInfoWorld& w) {
             w.registry.values[{kMsInfoKey, "PATH"}] = {kRegExpandString, Bytes{'%', 'x', 0}};
         },
         {kMsInfoKey},
         {""},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SysInfoWorld w;
        c.prepare(w);
        StartSysInfo({w.registry, w.files, w.launcher, w.messageBox});
        EXPECT_EQ(w.registry.keysRead, c.keysRead);
        EXPECT_EQ(w.launcher.started, c.started);
        EXPECT_EQ(w.messageBox.shown, c.message ? Texts{"此时系统信息无效"} : Texts{});
    }
}

TEST(GetKeyValue, TextByValueType) {
    const struct {
        const char* name;
        std::optional<RegistryValue> value;
        bool found;
        std::string expected;
    } cases[] = {
        {"string drops its zero byte", RegistryValue{kRegString, {'a', 'b', 0}}, true, "ab"},
        {"string without zero byte", RegistryValue{kRegString, {'a', 'b'}}, true, "ab"},
        {"only the last zero byte goes", RegistryValue{kRegString, {'a', 0, 0}}, true,
         std::string("a\0", 2)},
        {"number as decimal", RegistryValue{kRegNumber, {0x2A, 0, 0, 0}}, true, "42"},
        {"number whose low byte is zero", RegistryValue{kRegNumber, {0, 1, 0, 0}}, true, "256"},
        {"number with all bits set", RegistryValue{kRegNumber, {0xFF, 0xFF, 0xFF, 0xFF}}, true,
         "4294967295"},
        {"other type keeps the text", RegistryValue{kRegExpandString, {'x', 0}}, true, "before"},
        {"missing value empties the text", std::nullopt, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRegistry registry;
        if (c.value) {
            registry.values[{"K", "V"}] = *c.value;
        }
        std::string text = "before";
        EXPECT_EQ(GetKeyValue(registry, RegistryRoot::LocalMachine, "K", "V", text), c.found);
        EXPECT_EQ(text, c.expected);
    }
}

}  // namespace
}  // namespace korvel::test
