#include "platform/posix/posix_keeper_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/files.h"

namespace korvel {

namespace {

std::string failed(const std::string& what, int code) {
    return what + ": " + std::strerror(code);
}

// Writes text to a new file beside path and renames it over path, so that readers see one or
// the other. mode is the new file's.
std::string replaceFile(const std::string& path, const std::string& text, mode_t mode) {
    const std::string temporary = path + ".new";
    ::unlink(temporary.c_str());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        return failed(temporary, errno);
    }
    ::fchmod(fd, mode);
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const int code = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            return failed(temporary, code);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return failed(path, code);
    }
    return {};
}

}  // namespace

PosixKeeperStore::PosixKeeperStore(std::string folder, std::string statusFolder,
                                   std::string bootIdPath)
    : m_folder(std::move(folder)),
      m_statusFolder(std::move(statusFolder)),
      m_bootIdPath(std::move(bootIdPath)) {}

PosixKeeperStore::~PosixKeeperStore() {
    if (m_lock >= 0) {
        ::close(m_lock);
    }
}

std::string PosixKeeperStore::bootId() {
    char text[64] = {};
    const int fd = ::open(m_bootIdPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return "unknown";
    }
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    std::string id(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) {
        id.pop_back();
    }
    return id.empty() || id.find(' ') != std::string::npos ? "unknown" : id;
}

std::string PosixKeeperStore::hold() {
    const std::string path = joinPath(m_folder, "lock");
    m_lock = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat info {};
    if (m_lock < 0 || ::fstat(m_lock, &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        return m_lock < 0 ? failed(path, errno) : path + ": not a file of this user's";
    }
    // Another run holds it for a few seconds at most; the service's time limit ends a stuck one.
    while (::flock(m_lock, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return failed(path, errno);
        }
    }
    return {};
}

std::optional<std::string> PosixKeeperStore::read(std::string& problem) {
    const std::string path = joinPath(m_folder, "state");
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = errno == ENOENT  ? stateFileProblem(StateFileFault::Missing)
                  : errno == ELOOP ? stateFileProblem(StateFileFault::Link)
                                   : failed("the state file", errno);
        return std::nullopt;
    }
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = stateFileProblem(StateFileFault::NotAFile);
    } else if (info.st_uid != ::geteuid()) {
        problem = stateFileProblem(StateFileFault::OtherOwner);
    } else if (static_cast<std::uint64_t>(info.st_size) > kLargestKeeperStateBytes) {
        problem = stateFileProblem(StateFileFault::TooLarge);
    } else {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 || text.size() + static_cast<std::size_t>(n) > kLargestKeeperStateBytes) {
                problem = stateFileProblem(StateFileFault::Unreadable);
                break;
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return problem.empty() ? std::optional<std::string>(text) : std::nullopt;
}

std::string PosixKeeperStore::write(const std::string& text) {
    return replaceFile(joinPath(m_folder, "state"), text, 0600);
}

std::string PosixKeeperStore::writeStatus(const std::string& text) {
    return m_statusFolder.empty() ? std::string()
                                  : replaceFile(joinPath(m_statusFolder, "status"), text, 0644);
}

}  // namespace korvel
