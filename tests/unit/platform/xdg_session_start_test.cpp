#include "platform/posix/xdg_session_start.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/posix_files.h"
#include "support/temp_folder.h"

namespace korvel::test {
namespace {

// In a temporary configuration folder: the entry is written whole. In Exec, a reserved
// character quotes an argument, with \ " ` $ escaped inside; % is doubled everywhere; the
// string value's own escapes come on top, so a literal backslash takes four.
TEST(XdgSessionStart, EntryQuotesAwkwardPathsAndIsRemoved) {
    TempFolder folder;
    const std::string kept = std::getenv("XDG_CONFIG_HOME");  // the suite's, never unset
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    PosixFileSystem files{"/opt/korvel", {"/run/user/0", {}}};
    const std::string entry = (folder.path() / "autostart/korvel.desktop").string();
    using Arguments = std::vector<std::string>;
    const struct {
        std::string program;
        Arguments arguments;
        std::string exec;
    } cases[] = {
        {"/usr/bin/korvel", {"--auto-sync", "5", "--tray"}, "/usr/bin/korvel --auto-sync 5 --tray"},
        {"/opt/My Apps/korvel", Arguments{"--log=/home/u/时差 100%.log"},
         R"("/opt/My Apps/korvel" "--log=/home/u/时差 100%%.log")"},
        {"/opt/100%/korvel", {"--log=/u/校时.log"}, "/opt/100%%/korvel --log=/u/校时.log"},
        {"/opt/korvel", Arguments{"/tmp/a\"b$c\\d`e'f", "a\tb~(c);#"},
         R"(/opt/korvel "/tmp/a\\"b\\$c\\\\d\\`e'f" "a\tb~(c);#")"},
    };
    for (const auto& c : cases) {
        XdgSessionStart start(files, c.program);
        ASSERT_TRUE(start.turnOn(c.arguments)) << c.exec;
        EXPECT_EQ(folder.read(entry),
                  "[Desktop Entry]\nType=Application\nName=KORVEL\n"
                  "Comment=Time synchronisation, started with the session\n"
                  "Comment[zh_CN]=登录时启动的网络校时\nExec=" +
                      c.exec + "\nIcon=korvel\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
        EXPECT_TRUE(start.isOn() && start.location() == entry);
    }
    XdgSessionStart start(files, "/opt/k=v/korvel");  // "=" cannot be in Exec's program
    EXPECT_FALSE(start.turnOn({}));
    EXPECT_TRUE(start.turnOff());
    EXPECT_FALSE(start.isOn() || std::ifstream(entry));
    ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
}

}  // namespace
}  // namespace korvel::test
