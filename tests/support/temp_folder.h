#pragma once

#include <filesystem>
#include <string>

namespace korvel::test {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // Writes a file below the folder, making its folders first.
    std::filesystem::path write(const std::string& relativePath, const std::string& content);
    // A file's whole content, below the folder or at an absolute path.
    std::string read(const std::filesystem::path& file) const;

private:
    std::filesystem::path m_path;
};

}  // namespace korvel::test
