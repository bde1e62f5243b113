#include "ui/form/about_box.h"

#include <cstddef>
#include <cstdint>

namespace korvel {

namespace {

constexpr const char* kMsInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kMsInfoValue = "PATH";
constexpr const char* kToolsLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kToolsLocationValue = "MSINFO";
constexpr const char* kMsInfoProgram = "\\MSINFO32.EXE";

// The number in the first four bytes, little-endian; missing high bytes count as zero.
std::uint32_t numberOf(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) {
        value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    }
    return value;
}

}  // namespace

bool GetKeyValue(Registry& registry, RegistryRoot root, const std::string& keyName,
                 const std::string& valueName, std::string& valueText) {
    std::optional<RegistryValue> value = registry.readValue(root, keyName, valueName);
    if (!value) {
        valueText.clear();
        return false;
    }
    std::vector<std::uint8_t>& bytes = value->data;
    if (!bytes.empty() && bytes.back() == 0) {
        bytes.pop_back();
    }
    if (value->type == kRegString) {
        valueText.assign(bytes.begin(), bytes.end());
    } else if (value->type == kRegNumber) {
        valueText = std::to_string(numberOf(bytes));
    }
    return true;
}

void StartSysInfo(const SysInfoServices& services) {
    std::string path;
    bool found =
        GetKeyValue(services.registry, RegistryRoot::LocalMachine, kMsInfoKey, kMsInfoValue, path);
    if (!found &&
        GetKeyValue(services.registry, RegistryRoot::LocalMachine, kToolsLocationKey,
                    kToolsLocationValue, path) &&
        services.files.exists(path + kMsInfoProgram)) {
        path += kMsInfoProgram;
        found = true;
    }
    if (found && services.launcher.start(path)) {
        return;
    }
    services.messageBox.show(about::kNoSysInfo);
}

}  // namespace korvel
