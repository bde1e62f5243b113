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
    const fs::path file = folder.write(path, "#!/bin/sh\n");
    fs::permissions(
        file, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
}

std::string pathValue(SysInfoRegistry& registry) {
    const std::optional<RegistryValue> value =
        registry.readValue(RegistryRoot::LocalMachine, kMsInfoKey, "PATH");
    if (!value) {
        return "(absent)";
    }
    EXPECT_EQ(value->type, kRegString);
    EXPECT_EQ(value->data.back(), 0);
    return std::string(value->data.begin(), value->data.end() - 1);
}

TEST(SysInfoRegistry, NamesTheFirstInstalledSystemInformationTool) {
    TempFolder root;
    const std::string first = (root.path() / "a").string();
    const std::string second = (root.path() / "b").string();
    makeProgram(root, "a/gnome-system-monitor");
    makeProgram(root, "a/hardinfo", false);
    makeProgram(root, "b/kinfocenter");
    SysInfoRegistry registry({first, second});
    EXPECT_EQ(pathValue(registry), second + "/kinfocenter");

    makeProgram(root, "b/hardinfo");
    EXPECT_EQ(pathValue(registry), second + "/hardinfo");
}

TEST(SysInfoRegistry, WithoutAToolEveryKeyIsAbsent) {
    TempFolder root;
    fs::create_directories(root.path() / "hardinfo");  // a folder is no program
    SysInfoRegistry registry({root.path().string()});
    EXPECT_EQ(pathValue(registry), "(absent)");
    EXPECT_FALSE(registry.readValue(RegistryRoot::LocalMachine,
                                    "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO"));
}

TEST(SysInfoRegistry, AnswersOnlyTheToolLocation) {
    TempFolder root;
    makeProgram(root, "hardinfo");
    SysInfoRegistry registry({root.path().string()});
    EXPECT_FALSE(registry.readValue(RegistryRoot::LocalMachine, kMsInfoKey, "Path2"));
    EXPECT_FALSE(registry.readValue(RegistryRoot::LocalMachine, "SOFTWARE\\Other", "PATH"));
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
