#include "support/fake_files.h"

#include <algorithm>

namespace korvel::test {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "" : (slash == 0 ? "/" : path.substr(0, slash));
}

class MemoryByteFile final : public ByteFile {
public:
    MemoryByteFile(FakeFileSystem& files, std::string path)
        : m_files(files), m_path(std::move(path)) {}
    bool writeAt(std::size_t offset, std::span<const std::uint8_t> bytes) override {
        if (!accessed()) {
            return false;
        }
        auto& content = m_files.byteFiles[m_path];
        content.resize(std::max(content.size(), offset + bytes.size()));
        std::copy(bytes.begin(), bytes.end(), content.begin() + static_cast<long>(offset));
        return true;
    }
    bool readAt(std::size_t offset, std::span<std::uint8_t> bytes) override {
        const auto& content = m_files.byteFiles[m_path];
        if (!accessed() || content.size() < offset + bytes.size()) {
            return false;
        }
        std::copy_n(content.begin() + static_cast<long>(offset), bytes.size(), bytes.begin());
        return true;
    }

private:
    // Runs onByteAccess; false while byte access fails.
    bool accessed() {
        if (m_files.onByteAccess) {
            m_files.onByteAccess();
        }
        return !m_files.failByteAccess;
    }

    FakeFileSystem& m_files;
    std::string m_path;
};

class MemoryAppender final : public TextAppender {
public:
    MemoryAppender(FakeFileSystem& files, std::string path)
        : m_files(files), m_path(std::move(path)) {}
    bool appendLine(const std::string& line) override {
        if (m_files.fullFolders.contains(folderOf(m_path))) {
            return false;
        }
        m_files.textFiles[m_path].push_back(line);
        return true;
    }

private:
    FakeFileSystem& m_files;
    std::string m_path;
};

}  // namespace

FileError FakeFileSystem::writable(const std::string& path) const {
    const std::string folder = folderOf(path);
    if (!folders.contains(folder)) {
        return FileError::PathNotFound;
    }
    if (readOnlyFolders.contains(folder)) {
        return FileError::PermissionDenied;
    }
    return FileError::None;
}

std::unique_ptr<ByteFile> FakeFileSystem::openByteFile(const std::string& path, FileError& error) {
    error = byteFiles.contains(path) ? FileError::None : writable(path);
    if (error != FileError::None) {
        return nullptr;
    }
    byteFiles[path];
    ++byteFilesOpened;
    return std::make_unique<MemoryByteFile>(*this, path);
}

// A file there already is refused only by a read-only folder.
std::unique_ptr<TextAppender> FakeFileSystem::openAppend(const std::string& path,
                                                         FileError& error) {
    error = !textFiles.contains(path)                  ? writable(path)
            : readOnlyFolders.contains(folderOf(path)) ? FileError::PermissionDenied
                                                       : FileError::None;
    if (error != FileError::None) {
        return nullptr;
    }
    textFiles[path];
    return std::make_unique<MemoryAppender>(*this, path);
}

std::optional<std::string> FakeFileSystem::readFirstLine(const std::string& path) {
    const auto file = textFiles.find(path);
    if (file == textFiles.end()) {
        return std::nullopt;
    }
    return file->second.empty() ? std::string() : file->second.front();
}

FileError FakeFileSystem::replaceWithLine(const std::string& path, const std::string& line) {
    if (const FileError error = writable(path); error != FileError::None) {
        return error;
    }
    if (fullFolders.contains(folderOf(path))) {
        return FileError::DiskFull;
    }
    textFiles[path] = {line};
    return FileError::None;
}

bool FakeFileSystem::exists(const std::string& path) {
    return textFiles.contains(path) || byteFiles.contains(path);
}

void FakeFileSystem::remove(const std::string& path) {
    textFiles.erase(path);
    byteFiles.erase(path);
}

std::vector<std::string> FakeFileSystem::lines(const std::string& path) const {
    const auto file = textFiles.find(path);
    return file == textFiles.end() ? std::vector<std::string>{} : file->second;
}

std::string FakeFileSystem::userFolder(UserFolder kind, bool create) {
    const std::string& folder = kind == UserFolder::Data ? userDataPath : userConfigPath;
    if (create && !folder.empty()) {
        folders.insert(folder);
    }
    return folder;
}

bool FakeFileSystem::mayCreateIn(const std::string& folder) {
    return folders.contains(folder) && !readOnlyFolders.contains(folder);
}

}  // namespace korvel::test
