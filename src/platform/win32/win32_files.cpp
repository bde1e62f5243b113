#include "platform/win32/win32_files.h"

#include <aclapi.h>
#include <shlobj.h>
#include <windows.h>

#include <vector>

#include "platform/win32/win32_text.h"

namespace korvel {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The Chinese texts the program writes into its files; a code page must hold them all.
constexpr std::string_view kProgramTexts = "测时差（自动）自动校准校准失败无法连接服务器";

FileError errorOf(DWORD code) {
    switch (code) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return FileError::PermissionDenied;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return FileError::PathNotFound;
        case ERROR_INVALID_NAME:
        case ERROR_DIRECTORY:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_CANT_ACCESS_FILE:
            return FileError::PathAccess;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FileError::DiskFull;
        case ERROR_NOT_READY:
            return FileError::DiskNotReady;
        case ERROR_BAD_NETPATH:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BAD_UNIT:
            return FileError::DeviceUnavailable;
        default:
            return FileError::Other;
    }
}

// An open handle on a regular file, never on a link, device or pipe.
class Handle {
public:
    Handle(const std::string& path, DWORD access, DWORD disposition, FileError& error)
        : m_handle(CreateFileW(wideOf(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)) {
        if (m_handle == INVALID_HANDLE_VALUE) {
            error = errorOf(GetLastError());
            return;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(m_handle) != FILE_TYPE_DISK ||
            !GetFileInformationByHandle(m_handle, &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
            CloseHandle(m_handle);
            m_handle = INVALID_HANDLE_VALUE;
            error = FileError::PathAccess;
            return;
        }
        error = FileError::None;
    }
    ~Handle() {
        if (m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    std::uint64_t size() const {
        LARGE_INTEGER size{};
        return GetFileSizeEx(m_handle, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    }
    bool writeAll(std::string_view bytes) {
        DWORD written = 0;
        return WriteFile(m_handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) &&
               written == bytes.size();
    }
    std::string readStart(std::size_t count) {
        std::string bytes(count, '\0');
        DWORD read = 0;
        if (!ReadFile(m_handle, bytes.data(), static_cast<DWORD>(count), &read, nullptr)) {
            read = 0;
        }
        bytes.resize(read);
        return bytes;
    }

private:
    HANDLE m_handle;
};

OVERLAPPED at(std::size_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return position;
}

class Win32ByteFile final : public ByteFile {
public:
    explicit Win32ByteFile(std::unique_ptr<Handle> handle) : m_handle(std::move(handle)) {}
    bool writeAt(std::size_t offset, std::span<const std::uint8_t> bytes) override {
        OVERLAPPED position = at(offset);
        DWORD moved = 0;
        return WriteFile(m_handle->get(), bytes.data(), static_cast<DWORD>(bytes.size()), &moved,
                         &position) &&
               moved == bytes.size();
    }
    bool readAt(std::size_t offset, std::span<std::uint8_t> bytes) override {
        OVERLAPPED position = at(offset);
        DWORD moved = 0;
        return ReadFile(m_handle->get(), bytes.data(), static_cast<DWORD>(bytes.size()), &moved,
                        &position) &&
               moved == bytes.size();
    }

private:
    std::unique_ptr<Handle> m_handle;
};

class Win32TextAppender final : public TextAppender {
public:
    Win32TextAppender(std::unique_ptr<Handle> handle, unsigned codePage)
        : m_handle(std::move(handle)), m_codePage(codePage) {}
    bool appendLine(const std::string& utf8Line) override {
        return m_handle->writeAll(encodedLine(m_codePage, utf8Line));
    }

private:
    std::unique_ptr<Handle> m_handle;
    unsigned m_codePage;
};

}  // namespace

unsigned textCodePage(unsigned ansiCodePage) {
    return inCodePage(ansiCodePage, kProgramTexts) ? ansiCodePage : 0;
}

std::string encodedLine(unsigned codePage, std::string_view utf8Line) {
    // A character outside the code page in a text from elsewhere (a host name) is the one
    // place a question mark may appear; the program's own texts always fit.
    return (codePage == 0 ? std::string(utf8Line) : inCodePageLossy(codePage, utf8Line)) + "\r\n";
}

std::string decodedText(unsigned ansiCodePage, std::string_view bytes) {
    if (bytes.starts_with(kByteOrderMark)) {
        return std::string(bytes.substr(kByteOrderMark.size()));
    }
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    return utf8OfCodePage(ansiCodePage, bytes);
}

Win32FileSystem::Win32FileSystem(std::string programFolder, LocalFolder localFolder,
                                 std::string siteFolder)
    : m_programFolder(std::move(programFolder)),
      m_localFolder(std::move(localFolder)),
      m_siteFolder(std::move(siteFolder)) {}

std::unique_ptr<ByteFile> Win32FileSystem::openByteFile(const std::string& path, FileError& error) {
    auto handle = std::make_unique<Handle>(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, error);
    if (!handle->isOpen()) {
        return nullptr;
    }
    return std::make_unique<Win32ByteFile>(std::move(handle));
}

std::unique_ptr<TextAppender> Win32FileSystem::openAppend(const std::string& path,
                                                          FileError& error) {
    auto handle =
        std::make_unique<Handle>(path, GENERIC_READ | FILE_APPEND_DATA, OPEN_ALWAYS, error);
    if (!handle->isOpen()) {
        return nullptr;
    }
    // A file that already holds UTF-8 stays UTF-8; a new one gets the mark that says so.
    unsigned codePage = textCodePage(GetACP());
    const bool empty = handle->size() == 0;
    if (!empty && handle->readStart(kByteOrderMark.size()) == kByteOrderMark) {
        codePage = 0;
    }
    if (codePage == 0 && empty && !handle->writeAll(kByteOrderMark)) {
        error = errorOf(GetLastError());
        return nullptr;
    }
    return std::make_unique<Win32TextAppender>(std::move(handle), codePage);
}

std::optional<std::string> Win32FileSystem::readFirstLine(const std::string& path) {
    FileError error = FileError::None;
    Handle handle(path, GENERIC_READ, OPEN_EXISTING, error);
    if (!handle.isOpen()) {
        return std::nullopt;
    }
    // A first line longer than this is no configuration line.
    constexpr std::size_t kLongestLine = 4096;
    std::string bytes = handle.readStart(kLongestLine);
    const std::size_t end = bytes.find_first_of("\r\n");
    if (end != std::string::npos) {
        bytes.resize(end);
    }
    return decodedText(GetACP(), bytes);
}

FileError Win32FileSystem::replaceWithLine(const std::string& path, const std::string& utf8Line) {
    const std::string temporary = path + ".new";
    FileError error = FileError::None;
    {
        Handle handle(temporary, GENERIC_WRITE, CREATE_ALWAYS, error);
        if (!handle.isOpen()) {
            return error;
        }
        const unsigned codePage = textCodePage(GetACP());
        if ((codePage == 0 && !handle.writeAll(kByteOrderMark)) ||
            !handle.writeAll(encodedLine(codePage, utf8Line)) || !FlushFileBuffers(handle.get())) {
            error = errorOf(GetLastError());
        }
    }
    if (error == FileError::None &&
        !MoveFileExW(wideOf(temporary).c_str(), wideOf(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = errorOf(GetLastError());
    }
    if (error != FileError::None) {
        DeleteFileW(wideOf(temporary).c_str());
    }
    return error;
}

FileError Win32FileSystem::updateLine(const std::string& path, const LineChange& change) {
    FileError error = FileError::None;
    // A lock of its own: the file itself is replaced by every update.
    Handle lock(path + ".lock", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, error);
    if (!lock.isOpen()) {
        return error;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(lock.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
        return errorOf(GetLastError());
    }
    error = changeLine(*this, path, change);
    UnlockFileEx(lock.get(), 0, 1, 0, &whole);
    return error;
}

bool Win32FileSystem::exists(const std::string& path) {
    return GetFileAttributesW(wideOf(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Win32FileSystem::remove(const std::string& path) {
    DeleteFileW(wideOf(path).c_str());
}

std::string Win32FileSystem::userFolder(UserFolder kind, bool create) {
    if (kind == UserFolder::Autostart) {
        return {};  // the Run value of the user's registry instead
    }
    PWSTR base = nullptr;
    const bool found = SHGetKnownFolderPath(kind == UserFolder::Config ? FOLDERID_RoamingAppData
                                                                       : FOLDERID_LocalAppData,
                                            0, nullptr, &base) == S_OK;
    const std::string folder = found ? joinPath(utf8Of(base), "KORVEL") : std::string();
    CoTaskMemFree(base);
    if (folder.empty() || !create) {
        return folder;
    }
    CreateDirectoryW(wideOf(folder).c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(wideOf(folder).c_str());
    const bool made =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    return made ? folder : std::string();
}

bool Win32FileSystem::mayCreateIn(const std::string& folder) {
    // Trying tells the truth where access rules and file virtualisation would not.
    const HANDLE probe = CreateFileW(wideOf(joinPath(folder, "KORVEL-WRITE-TEST.TMP")).c_str(),
                                     GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(probe);
    return true;
}

std::string executableFolder() {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(name.size() * 2);
    }
    std::wstring path(name.begin(), name.end());
    const std::size_t separator = path.find_last_of(L"\\/");
    path.resize(separator == std::wstring::npos ? 0 : separator);
    // A root keeps its separator.
    if (path.size() == 2 && path[1] == L':') {
        path += L'\\';
    }
    return utf8Of(path);
}

bool onlyAdministratorsMayChange(void* securityDescriptor) {
    const auto administration = [](PSID sid) {
        return sid != nullptr && (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
                                  IsWellKnownSid(sid, WinLocalSystemSid));
    };
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    PACL list = nullptr;
    if (!GetSecurityDescriptorOwner(securityDescriptor, &owner, &defaulted) ||
        !administration(owner) ||
        !GetSecurityDescriptorDacl(securityDescriptor, &present, &list, &defaulted) || !present ||
        list == nullptr) {
        return false;  // no access list at all lets everyone do everything
    }
    constexpr DWORD kChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                               FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                               WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(list, i, &entry)) {
            return false;
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
            continue;
        }
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        // Conditional and object entries are not made by the installer: not trusted either.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE ||
            ((allowed->Mask & kChanges) != 0 &&
             !administration(const_cast<DWORD*>(&allowed->SidStart)))) {
            return false;
        }
    }
    return true;
}

std::string siteSettingsFolder(const std::string& programFolder) {
    PWSTR base = nullptr;
    const bool found = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &base) == S_OK;
    const std::string folder = found ? joinPath(utf8Of(base), "KORVEL") : std::string();
    CoTaskMemFree(base);
    const DWORD attributes =
        found ? GetFileAttributesW(wideOf(folder).c_str()) : INVALID_FILE_ATTRIBUTES;
    const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    // A standard user may have made the folder before the installer came (or the installer
    // could not take it over): its servers would then be that user's choice.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const bool trusted =
        isFolder &&
        GetNamedSecurityInfoW(wideOf(folder).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
        onlyAdministratorsMayChange(descriptor);
    LocalFree(descriptor);
    return trusted ? folder : programFolder;
}

LocalFolder localDataFolder() {
    PWSTR base = nullptr;
    const bool found =
        SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &base) == S_OK;
    const std::string folder = found ? joinPath(utf8Of(base), "KORVEL") : std::string();
    CoTaskMemFree(base);
    if (!found) {
        return {{}, "%LOCALAPPDATA% 不存在"};
    }
    if (!CreateDirectoryW(wideOf(folder).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        return {{}, folder + " 无法建立"};
    }
    const DWORD attributes = GetFileAttributesW(wideOf(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return {{}, folder + " 不是文件夹"};
    }
    return {folder, {}};
}

}  // namespace korvel
