#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
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

// A link whose owner is this user or root: nobody else could have put it there to redirect
// our writes (a root-run program never follows a link a user planted in a folder of theirs).
bool isTrustedLink(const std::string& path) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return false;
    }
    return link.st_uid == ::geteuid() || link.st_uid == 0;
}

// Every folder on the way to this one that exists belongs to this user or root: a program run
// by root with another user's HOME keeps out of that user's folders.
bool ownedAlongTheWay(const std::string& folder) {
    for (std::string at = folder;; at = folderOf(at)) {
        struct stat info {};
        if (::lstat(at.c_str(), &info) == 0 && info.st_uid != ::geteuid() && info.st_uid != 0) {
            return false;
        }
        if (at == "/" || at == ".") {
            return true;
        }
    }
}

// Opens a regular file without waiting on it (a FIFO would block until a writer came).
int openRegular(const std::string& path, int flags, mode_t mode, FileError& error) {
    flags |= O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags | O_NOFOLLOW, mode);
    if (fd < 0 && errno == ELOOP && isTrustedLink(path)) {
        fd = ::open(path.c_str(), flags, mode);
    }
    if (fd < 0) {
        error = errorOf(errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = FileError::PathAccess;
        return -1;
    }
    error = FileError::None;
    return fd;
}

bool ownedPrivateFolder(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
}

// The file a save writes: a trusted link's target, or the path itself.
std::optional<std::string> saveTarget(const std::string& path, FileError& error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char* resolved = isTrustedLink(path) ? ::realpath(path.c_str(), nullptr) : nullptr;
    if (resolved == nullptr) {
        error = FileError::PathAccess;
        return std::nullopt;
    }
    std::string target(resolved);
    std::free(resolved);
    return target;
}

FileError writeLine(int fd, const std::string& content) {
    if (!writeAll(fd, content.data(), content.size()) || ::fsync(fd) != 0) {
        return errorOf(errno);
    }
    return FileError::None;
}

}  // namespace

RuntimeFolder choosePrivateFolder(const std::string& preferred, const std::string& tempFolder) {
    struct stat info {};
    if (!preferred.empty() && ::lstat(preferred.c_str(), &info) == 0 && ownedPrivateFolder(info)) {
        return {preferred, {}};
    }
    // TMPDIR naming a missing folder leaves the temporary folder empty or wrong: the system's
    // own then, never the root or the working folder.
    const bool usable = !tempFolder.empty() && tempFolder.front() == '/' &&
                        ::stat(tempFolder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    // A fixed name, so that a second copy finds the first one's lock.
    const std::string own =
        joinPath(usable ? tempFolder : "/tmp", "korvel-" + std::to_string(::geteuid()));
    ::mkdir(own.c_str(), 0700);
    if (::lstat(own.c_str(), &info) != 0) {
        return {{}, own + " 无法建立"};
    }
    if (ownedPrivateFolder(info)) {
        return {own, {}};
    }
    if (!S_ISDIR(info.st_mode)) {
        return {{}, own + " 不是文件夹"};
    }
    return {{}, own + (info.st_uid != ::geteuid() ? " 属于其他用户" : " 可被其他用户访问")};
}

PosixFileSystem::PosixFileSystem(std::string programFolder, RuntimeFolder runtimeFolder)
    : m_programFolder(std::move(programFolder)), m_runtimeFolder(std::move(runtimeFolder)) {}

std::unique_ptr<ByteFile> PosixFileSystem::openByteFile(const std::string& path, FileError& error) {
    const int fd = openRegular(path, O_RDWR | O_CREAT, 0600, error);
    return fd < 0 ? nullptr : std::make_unique<PosixByteFile>(fd);
}

std::unique_ptr<TextAppender> PosixFileSystem::openAppend(const std::string& path,
                                                          FileError& error) {
    const int fd = openRegular(path, O_WRONLY | O_APPEND | O_CREAT, 0644, error);
    return fd < 0 ? nullptr : std::make_unique<PosixAppender>(fd);
}

std::optional<std::string> PosixFileSystem::readFirstLine(const std::string& path) {
    FileError error = FileError::None;
    FileDescriptor fd(openRegular(path, O_RDONLY, 0, error));
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
    // Some editors start a UTF-8 file with a byte-order mark.
    if (line.starts_with("\xEF\xBB\xBF")) {
        line.erase(0, 3);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

FileError PosixFileSystem::replaceWithLine(const std::string& linkOrPath,
                                           const std::string& utf8Line) {
    FileError error = FileError::None;
    const auto target = saveTarget(linkOrPath, error);
    if (!target) {
        return error;
    }
    const std::string& path = *target;
    struct stat old {};
    const bool existed = ::stat(path.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) {
        return FileError::PathAccess;
    }
    const mode_t mode = existed ? (old.st_mode & 07777) : 0644;
    const std::string content = utf8Line + '\n';
    // One fixed name: a save cut short leaves at most this file, and the next save reuses it.
    const std::string tempPath = path + ".new";
    FileDescriptor fd(::open(tempPath.c_str(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                             mode));
    if (fd.get() < 0) {
        if (existed && (errno == EACCES || errno == EPERM)) {
            // The folder takes no new file, but the file itself may be writable.
            FileDescriptor file(openRegular(path, O_WRONLY | O_TRUNC, 0, error));
            return file.get() < 0 ? error : writeLine(file.get(), content);
        }
        return errorOf(errno);
    }
    FileError result =
        ::fchmod(fd.get(), mode) == 0 ? writeLine(fd.get(), content) : errorOf(errno);
    if (result == FileError::None &&
        (!fd.close() || ::rename(tempPath.c_str(), path.c_str()) != 0)) {
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

FileError PosixFileSystem::updateLine(const std::string& path, const LineChange& change) {
    FileError error = FileError::None;
    // A lock of its own: the file itself is replaced by every update.
    FileDescriptor lock(openRegular(path + ".lock", O_RDWR | O_CREAT, 0600, error));
    if (lock.get() < 0) {
        return error;
    }
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return errorOf(errno);
        }
    }
    return changeLine(*this, path, change);
}

bool PosixFileSystem::exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

void PosixFileSystem::remove(const std::string& path) {
    ::unlink(path.c_str());
}

std::string PosixFileSystem::userFolder(UserFolder kind, bool create) {
    const bool config = kind != UserFolder::Data;
    const char* home = std::getenv(config ? "XDG_CONFIG_HOME" : "XDG_DATA_HOME");
    std::string base;
    if (home != nullptr && home[0] == '/') {
        base = home;  // relative values are to be ignored
    } else if (const char* user = std::getenv("HOME"); user != nullptr && user[0] == '/') {
        base = std::string(user) + (config ? "/.config" : "/.local/share");
    } else {
        return {};
    }
    const std::string folder =
        joinPath(base, kind == UserFolder::Autostart ? "autostart" : "korvel");
    if (!ownedAlongTheWay(folder)) {
        return {};
    }
    if (create) {
        // Each missing folder on the way, for the user alone.
        for (std::size_t at = 1; at != std::string::npos;) {
            at = folder.find('/', at + 1);
            ::mkdir(folder.substr(0, at).c_str(), 0700);
        }
        struct stat status {};
        if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
            !ownedAlongTheWay(folder)) {
            return {};
        }
    }
    return folder;
}

bool PosixFileSystem::mayCreateIn(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace korvel
