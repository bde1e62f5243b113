#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace korvel {

namespace {

FileError errorOf(int code) {
    switch (code) {
        case EACCES:
        case EPERM:
        case EROFS:
            return FileError::PermissionDenied;
        case ENOENT:
        case ENOTDIR:
            return FileError::PathNotFound;
        case EISDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return FileError::PathAccess;
        case ENOSPC:
        case EDQUOT:
            return FileError::DiskFull;
        case ENXIO:
        case ENODEV:
            return FileError::DeviceUnavailable;
        case EIO:
            return FileError::DiskNotReady;
        default:
            return FileError::Other;
    }
}

// Writes all bytes, retrying short writes.
bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }
    // Closes now and reports whether buffered data reached the file.
    bool close() { return ::close(std::exchange(m_fd, -1)) == 0; }

private:
    int m_fd;
};

class PosixByteFile final : public ByteFile {
public:
    explicit PosixByteFile(int fd) : m_fd(fd) {}
    bool writeAt(std::size_t offset, std::span<const std::uint8_t> bytes) override {
        return ::pwrite(m_fd.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
               static_cast<ssize_t>(bytes.size());
    }
    bool readAt(std::size_t offset, std::span<std::uint8_t> bytes) override {
        return ::pread(m_fd.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
               static_cast<ssize_t>(bytes.size());
    }

private:
    FileDescriptor m_fd;
};

class PosixAppender final : public TextAppender {
public:
    explicit PosixAppender(int fd) : m_fd(fd) {}
    bool appendLine(const std::string& utf8Line) override {
        const std::string line = utf8Line + '\n';
        // One write per line: O_APPEND keeps it whole even with another writer.
        return writeAll(m_fd.get(), line.data(), line.size());
    }

private:
    FileDescriptor m_fd;
};

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

PosixFileSystem::PosixFileSystem(std::string programFolder, std::string runtimeFolder)
    : m_programFolder(std::move(programFolder)), m_runtimeFolder(std::move(runtimeFolder)) {}

std::unique_ptr<ByteFile> PosixFileSystem::openByteFile(const std::string& path, FileError& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errorOf(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = FileError::PathAccess;
        return nullptr;
    }
    error = FileError::None;
    return std::make_unique<PosixByteFile>(fd);
}

std::unique_ptr<TextAppender> PosixFileSystem::openAppend(const std::string& path,
                                                          FileError& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errorOf(errno);
        return nullptr;
    }
    error = FileError::None;
    return std::make_unique<PosixAppender>(fd);
}

std::optional<std::string> PosixFileSystem::readFirstLine(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return std::nullopt;
    }
    constexpr std::size_t kLongestLine = 64 * 1024;
    std::string line;
    char chunk[512];
    while (line.size() < kLongestLine) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        line.append(chunk, static_cast<std::size_t>(got));
        if (line.find('\n') != std::string::npos) {
            break;
        }
    }
    line = line.substr(0, line.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

FileError PosixFileSystem::replaceWithLine(const std::string& path, const std::string& utf8Line) {
    // One fixed name: a save cut short leaves at most this file, and the next save reuses it.
    const std::string tempPath = path + ".new";
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    FileDescriptor fd(
        ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        return errorOf(errno);
    }
    const std::string content = utf8Line + '\n';
    FileError result = FileError::None;
    if (::fchmod(fd.get(), mode) != 0 || !writeAll(fd.get(), content.data(), content.size()) ||
        ::fsync(fd.get()) != 0) {
        result = errorOf(errno);
    } else if (!fd.close()) {
        result = errorOf(errno);
    } else if (::rename(tempPath.c_str(), path.c_str()) != 0) {
        result = errorOf(errno);
    }
    if (result != FileError::None) {
        ::unlink(tempPath.c_str());
        return result;
    }
    // Make the rename itself durable.
    FileDescriptor folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get());
    }
    return FileError::None;
}

bool PosixFileSystem::exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace korvel
