#pragma once

#include <optional>
#include <string>

#include "platform/registry.h"

namespace korvel {

// The Windows registry through advapi32. Key and value names are passed in the system's
// code page; string values come back as UTF-8.
class Win32Registry final : public Registry {
public:
    std::optional<RegistryValue> readValue(RegistryRoot root, const std::string& keyName,
                                           const std::string& valueName) override;
};

}  // namespace korvel
