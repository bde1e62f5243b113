#include "platform/posix/xdg_session_start.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/posix_files.h"
#include "support/temp_folder.h"

namespace korvel::test {
namespace {

// The user's configuration folder moved into a temporary one for the test's length.
class XdgSessionStartTest : public testing::Test {
protected:
    XdgSessionStartTest() {
        if (const char* kept = std::getenv("XDG_CONFIG_HOME")) {
            m_kept = kept;
        }
        ::setenv("XDG_CONFIG_HOME", (folder.path() / "config").c_str(), 1);
    }
    ~XdgSessionStartTest() override {
        if (m_kept) {
            ::setenv("XDG_CONFIG_HOME", m_kept->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
    }
    std::filesystem::path entry() const {
        return folder.path() / "config/autostart/korvel.desktop";
    }
    std::string read() const {
        std::ifstream in(entry(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    TempFolder folder;
    PosixFileSystem files{"/opt/korvel", {"/run/user/0", {}}};

private:
    std::optional<std::string> m_kept;
};

TEST_F(XdgSessionStartTest, EntryIsWrittenWholeAndRemoved) {
    XdgSessionStart start(files, "/usr/bin/korvel");
    EXPECT_FALSE(start.isOn());
    ASSERT_TRUE(start.turnOn({"--auto-sync", "5", "--tray"}));
    EXPECT_TRUE(start.isOn());
    EXPECT_EQ(start.location(), entry().string());
    EXPECT_EQ(read(),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=KORVEL\n"
              "Comment=Time synchronisation, started with the session\n"
              "Comment[zh_CN]=登录时启动的网络校时\n"
              "Exec=/usr/bin/korvel --auto-sync 5 --tray\n"
              "Icon=korvel\n"
              "Terminal=false\n"
              "X-GNOME-Autostart-enabled=true\n");
    EXPECT_TRUE(start.turnOff());
    EXPECT_FALSE(std::filesystem::exists(entry()));
    EXPECT_TRUE(start.turnOff());

    XdgSessionStart unwritable(files, "/opt/k=v/korvel");
    EXPECT_FALSE(unwritable.turnOn({}));
    EXPECT_FALSE(unwritable.isOn());
}

// Reserved characters quote an argument, with \ " ` $ escaped inside; % is doubled everywhere;
// the string value's own escapes come on top, so a literal backslash takes four.
TEST_F(XdgSessionStartTest, ExecQuotesAwkwardPaths) {
    const struct {
        std::string program;
        std::vector<std::string> arguments;
        std::string exec;
    } cases[] = {
        {"/opt/My Apps/korvel",
         {"--log", "/home/u/时差 100%.log"},
         R"("/opt/My Apps/korvel" --log "/home/u/时差 100%%.log")"},
        {"/opt/100%/korvel",
         {"--log", "/home/u/校时.log"},
         R"(/opt/100%%/korvel --log /home/u/校时.log)"},
        {"/opt/korvel",
         {"--log", "/tmp/a\"b$c\\d`e'f"},
         R"(/opt/korvel --log "/tmp/a\\"b\\$c\\\\d\\`e'f")"},
        {"/opt/korvel", {"--log", "/tmp/a\tb~(c);#"}, R"(/opt/korvel --log "/tmp/a\tb~(c);#")"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(XdgSessionStart(files, c.program).turnOn(c.arguments)) << c.exec;
        EXPECT_NE(read().find("\nExec=" + c.exec + "\n"), std::string::npos) << read();
    }
}

}  // namespace
}  // namespace korvel::test
