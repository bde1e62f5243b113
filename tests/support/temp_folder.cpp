#include "support/temp_folder.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace korvel::test {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    m_path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::filesystem::path TempFolder::write(const std::string& relativePath,
                                        const std::string& content) {
    const std::filesystem::path file = m_path / relativePath;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << content;
    return file;
}

}  // namespace korvel::test
