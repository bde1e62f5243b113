#pragma once

#include <string>

#include "platform/posix/posix_files.h"

namespace korvel {

// The folder that holds the running executable.
std::string executableFolder();

// The user's private runtime folder: $XDG_RUNTIME_DIR when it is really private, else a
// folder of the program's own in the temporary folder.
RuntimeFolder privateRuntimeFolder();

}  // namespace korvel
