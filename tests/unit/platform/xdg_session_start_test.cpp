#include "platform/posix/xdg_session_start.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/posix_files.h"
#include "support/temp_folder.h"

namespace korvel::test {
namespace {

// The whole file once its writer has closed it: empty until a line end ends it.
std::string readIfAny(const std::string& path) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.ends_with('\n') ? text : std::string();
}

// In a temporary configuration folder: the entry is written whole and valid. In Exec, a reserved
// character quotes an argument, with \ " ` $ escaped inside; % is doubled everywhere, and a
// program path that holds one is handed to env, as GLib's loader looks the program up before
// undoing the doubling; the string value's own escapes come on top, so a literal backslash
// takes four. GLib's launcher (gio launch) starts each program (@ in the table: the folder)
// with every argument as it was.
TEST(XdgSessionStart, EntryQuotesAwkwardPathsGLibStartsItAndItIsRemoved) {
    TempFolder folder;
    const std::string kept = std::getenv("XDG_CONFIG_HOME");  // the suite's, never unset
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    PosixFileSystem files{"/opt/korvel", {"/run/user/0", {}}};
    const std::string entry = (folder.path() / "autostart/korvel.desktop").string();
    const std::string at = folder.path().string();
    const auto placed = [&at](std::string text) {
        for (std::size_t i = text.find('@'); i != std::string::npos;
             i = text.find('@', i + at.size())) {
            text.replace(i, 1, at);
        }
        return text;
    };
    using Arguments = std::vector<std::string>;
    const struct {
        std::string program;
        Arguments arguments;
        std::string exec;
    } cases[] = {
        {"@/korvel", {"--auto-sync", "5", "--tray"}, "@/korvel --auto-sync 5 --tray"},
        {"@/My Apps/korvel", Arguments{"--log=/home/u/时差 100%.log"},
         R"("@/My Apps/korvel" "--log=/home/u/时差 100%%.log")"},
        {"@/100%/korvel", {"--log=/u/校时.log"}, "env @/100%%/korvel --log=/u/校时.log"},
        {"@/korvel", Arguments{"/tmp/a\"b$c\\d`e'f", "a\tb~(c);#"},
         R"(@/korvel "/tmp/a\\"b\\$c\\\\d\\`e'f" "a\tb~(c);#")"},
    };
    const std::string started = at + "/started";
    for (const auto& c : cases) {
        const std::string program = placed(c.program);
        // The program writes what it was started with, one line each.
        folder.write(program.substr(at.size() + 1),
                     "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" >'" + started + "'\n");
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        XdgSessionStart start(files, program);
        ASSERT_TRUE(start.turnOn(c.arguments)) << c.exec;
        const std::string written = folder.read(entry);
        EXPECT_NE(written.find("\nExec=" + placed(c.exec) + "\n"), std::string::npos) << written;
        EXPECT_TRUE(start.isOn() && start.location() == entry && start.cannotHoldProgram().empty());
        std::filesystem::remove(started);
        ASSERT_EQ(std::system(("desktop-file-validate '" + entry +
                               "' && env DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "
                               "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent gio launch '" +
                               entry + "'")
                                  .c_str()),
                  0)
            << c.exec;
        std::string lines;
        for (int i = 0; i < 100 && (lines = readIfAny(started)).empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::string expected = program + "\n";
        for (const std::string& argument : c.arguments) {
            expected += argument + "\n";
        }
        EXPECT_EQ(lines, expected) << c.exec;
    }
    XdgSessionStart start(files, "/opt/k=v/korvel");  // "=" cannot be in Exec's program
    EXPECT_EQ(start.cannotHoldProgram(),
              "程序路径 /opt/k=v/korvel 含有“=”，桌面启动项无法记录这样的路径");
    EXPECT_FALSE(start.turnOn({}));
    EXPECT_TRUE(start.turnOff());
    EXPECT_FALSE(start.isOn() || std::ifstream(entry));
    ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
}

}  // namespace
}  // namespace korvel::test
