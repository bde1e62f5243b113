#include "support/temp_folder.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace korvel::test {

TempFolder::TempFolder() {
    // A fresh name until one is free (mkdtemp is POSIX alone); owner-only, as mkdtemp makes it.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto path =
            std::filesystem::temp_directory_path() / ("korvel-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(path)) {
            std::filesystem::permissions(path, std::filesystem::perms::owner_all);
            m_path = path;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
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

std::string TempFolder::read(const std::filesystem::path& file) const {
    std::ifstream in(m_path / file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace korvel::test
