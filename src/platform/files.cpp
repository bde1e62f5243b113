#include "platform/files.h"

namespace korvel {

std::string joinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == kPathSeparator) {
        return folder + name;
    }
    return folder + kPathSeparator + name;
}

}  // namespace korvel
