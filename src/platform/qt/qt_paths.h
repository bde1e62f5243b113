#pragma once

#include <string>

namespace korvel {

// The folder that holds the running executable.
std::string executableFolder();

// The user's private runtime folder ($XDG_RUNTIME_DIR, or a 0700 folder Qt makes in /tmp).
std::string privateRuntimeFolder();

}  // namespace korvel
