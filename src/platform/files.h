#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace korvel {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Why a file could not be opened or written.
enum class FileError {
    None,
    PermissionDenied,
    PathNotFound,
    PathAccess,  // the path names something that is not a file, or a link where none may be
    DiskNotReady,
    DeviceUnavailable,
    DiskFull,
    Other,
};

// A byte file open for reading and writing.
class ByteFile {
public:
    virtual ~ByteFile() = default;
    // Both return false when fewer bytes than asked could be moved.
    virtual bool writeAt(std::size_t offset, std::span<const std::uint8_t> bytes) = 0;
    virtual bool readAt(std::size_t offset, std::span<std::uint8_t> bytes) = 0;
};

// A text file open for appending. Lines are written in the system's encoding with its line
// end, and reach the file before appendLine returns.
class TextAppender {
public:
    virtual ~TextAppender() = default;
    virtual bool appendLine(const std::string& utf8Line) = 0;
};

// What an update makes of a file's first line (nullopt when the file cannot be read).
using LineChange = std::function<std::string(const std::optional<std::string>&)>;

// The user's own folders of the program, and the one it starts from with the session.
enum class UserFolder {
    Config,     // settings: $XDG_CONFIG_HOME/korvel, %APPDATA%\KORVEL
    Data,       // data such as the log: $XDG_DATA_HOME/korvel, %LOCALAPPDATA%\KORVEL
    Autostart,  // the session's autostart entries: $XDG_CONFIG_HOME/autostart; none on Windows
};

// Files and folders. Text crosses this interface as UTF-8 without line ends.
//
// Every open takes regular files only (a FIFO, device or folder gives PathAccess) and never
// waits on the file. A symbolic link is followed only when it belongs to the running user or
// to the system's administrator; another's link gives PathAccess.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The folder that holds the program, without a trailing separator unless it is a root.
    virtual std::string programFolder() = 0;
    // The folder of the site's settings, which every user of the machine reads: the program's
    // folder where the site file lies beside the program (or a link to it does).
    virtual std::string siteFolder() = 0;
    // A folder for short-lived files that only this user can reach (owned by the user, no
    // access for others, itself no link); empty when there is none.
    virtual std::string privateRuntimeFolder() = 0;
    // Why privateRuntimeFolder() is empty, as a sentence for the user; empty when it is not.
    virtual std::string runtimeFolderProblem() = 0;
    // Read and write, created if absent (mode 0600 where modes exist), content kept.
    virtual std::unique_ptr<ByteFile> openByteFile(const std::string& path, FileError& error) = 0;
    virtual std::unique_ptr<TextAppender> openAppend(const std::string& path, FileError& error) = 0;
    // The first line of a text file (CR LF or LF ends it, a UTF-8 byte-order mark before it is
    // skipped); nullopt when it cannot be read. An empty file gives an empty line.
    virtual std::optional<std::string> readFirstLine(const std::string& path) = 0;
    // Replaces the whole file by one line, atomically: readers see the old content or the new,
    // never a partial file. A followed link stays and its target gets the line. Where the
    // folder refuses a new file but the file itself may be written, it is rewritten in place.
    virtual FileError replaceWithLine(const std::string& path, const std::string& utf8Line) = 0;
    // Replaces the first line by what change makes of it, with no other update of the file in
    // between, by this process or another: updates wait for each other on a lock file beside
    // it (the name with ".lock"), which stays. Nothing is written when the line is unchanged.
    virtual FileError updateLine(const std::string& path, const LineChange& change) = 0;
    virtual bool exists(const std::string& path) = 0;
    // Removes a file the program made (a link itself, never its target); nothing happens when
    // there is none.
    virtual void remove(const std::string& path) = 0;
    // The user's own folder of the given kind, made (for the user alone) with its missing
    // parents when create is set; empty when there is none, it could not be made, or it (or a
    // folder on the way to it) belongs to another user than the one running the program.
    virtual std::string userFolder(UserFolder kind, bool create) = 0;
    // Whether this user may create files in the folder.
    virtual bool mayCreateIn(const std::string& folder) = 0;
};

// A folder path joined with a name, without doubling the separator after a root. On Windows
// the separator is the one the folder uses, \\ unless it has only /.
std::string joinPath(const std::string& folder, const std::string& name);

// The scheduled correction's state folder on Windows: state in the site's folder, which LOCAL
// SERVICE may write and users read.
std::string keeperStateFolder(FileSystem& files);
// The status of the scheduled correction that users may read: in the service's runtime folder
// on Linux, beside the state on Windows.
std::string keeperStatusPath(FileSystem& files);

// The read, change and write of updateLine, for an implementation that holds the lock.
FileError changeLine(FileSystem& files, const std::string& path, const LineChange& change);

}  // namespace korvel
