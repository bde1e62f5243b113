#include "platform/posix/sysinfo_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace korvel::test {
namespace {

namespace fs = std::filesystem;

const std::string kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";

void makeProgram(TempFolder& folder, const std::string& path, bool executable = true) {
    fs::permissions(folder.write(path, "#!/bin/sh\n"),
                    executable ? fs::perms::owner_all : fs::perms::owner_read);
}

// The PATH value as the registry would hold it: a string with its zero byte.
std::string pathValue(SysInfoRegistry& registry, const std::string& key = kMsInfoKey,
                      const std::string& value = "PATH") {
    const auto found = registry.readValue(RegistryRoot::LocalMachine, key, value);
    if (!found) {
        return "(absent)";
    }
    EXPECT_EQ(found->type, kRegString);
    EXPECT_EQ(found->data.back(), 0);
    return std::string(found->data.begin(), found->data.end() - 1);
}

// Tools in their order of preference, each looked for in every folder; a folder or a file that
// cannot run is no tool. Only the tool's location is answered.
TEST(SysInfoRegistry, NamesTheFirstInstalledSystemInformationTool) {
    TempFolder root;
    const std::string second = (root.path() / "b").string();
    fs::create_directories(root.path() / "a/kinfocenter");
    makeProgram(root, "a/hardinfo", false);
    SysInfoRegistry registry({(root.path() / "a").string(), second});
    EXPECT_EQ(pathValue(registry), "(absent)");
    makeProgram(root, "a/gnome-system-monitor");
    makeProgram(root, "b/kinfocenter");
    EXPECT_EQ(pathValue(registry), second + "/kinfocenter");
    makeProgram(root, "b/hardinfo");
    EXPECT_EQ(pathValue(registry), second + "/hardinfo");
    EXPECT_EQ(pathValue(registry, kMsInfoKey, "Path2"), "(absent)");
    EXPECT_EQ(pathValue(registry, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO"),
              "(absent)");
}

TEST(SysInfoRegistry, SearchFoldersComeFromAPathList) {
    EXPECT_EQ(SysInfoRegistry::foldersOfPath("/opt/bin::/usr/bin:"),
              (std::vector<std::string>{"/opt/bin", "/usr/bin"}));
    const std::vector<std::string> usual{"/usr/local/bin", "/usr/bin", "/bin"};
    EXPECT_EQ(SysInfoRegistry::foldersOfPath(nullptr), usual);
    EXPECT_EQ(SysInfoRegistry::foldersOfPath(""), usual);
}

}  // namespace
}  // namespace korvel::test
