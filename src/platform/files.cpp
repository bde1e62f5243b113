#include "platform/files.h"

namespace korvel {

std::string joinPath(const std::string& folder, const std::string& name) {
    // Windows takes '/' as well: a folder written with it is continued the same way.
    char separator = kPathSeparator;
    if (kPathSeparator == '\\' && folder.find('/') != std::string::npos &&
        folder.find('\\') == std::string::npos) {
        separator = '/';
    }
    if (!folder.empty() && folder.back() == separator) {
        return folder + name;
    }
    return folder + separator + name;
}

}  // namespace korvel
