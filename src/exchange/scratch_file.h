#pragma once

#include <string>

#include "platform/program_files.h"

namespace korvel {

inline constexpr const char* kScratchFileName = "XCV.TMP";

// Opens the scratch file of that name in the user's private runtime folder. Returns the
// message that says why it cannot be used, empty when it is open.
std::string openScratchFile(ScratchFile& file, FileSystem& files, const std::string& name);

}  // namespace korvel
