#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace korvel {

// The registry as far as the About box reads it, on a system that has none: the location of
// the system-information tool (HKEY_LOCAL_MACHINE, "SOFTWARE\Microsoft\Shared Tools\MSINFO",
// "PATH") names the first of kSysInfoPrograms installed in the search folders. Every other
// key is absent.
class SysInfoRegistry final : public Registry {
public:
    // Hardware and system overviews first, then system monitors.
    static constexpr const char* kSysInfoPrograms[] = {"hardinfo2", "hardinfo", "kinfocenter",
                                                       "gnome-system-monitor"};

    explicit SysInfoRegistry(std::vector<std::string> searchFolders);

    // The folders of a PATH-style list; the usual program folders when it is empty or absent.
    static std::vector<std::string> foldersOfPath(const char* pathList);

    std::optional<RegistryValue> readValue(RegistryRoot root, const std::string& keyName,
                                           const std::string& valueName) override;

private:
    std::vector<std::string> m_searchFolders;
};

}  // namespace korvel
