#include "platform/win32/win32_keeper_store.h"

#include <aclapi.h>

#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/win32/win32_text.h"

namespace korvel {

namespace {

std::string failed(const std::string& path, DWORD code) {
    return path + ": Windows error " + std::to_string(code);
}

// Opens path itself (never what a link leads to) as a regular file, or says why not.
HANDLE openRegular(const std::string& path, DWORD access, DWORD disposition, std::string& why) {
    const HANDLE file =
        CreateFileW(wideOf(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        const DWORD attributes = GetFileAttributesW(wideOf(path).c_str());
        why = code == ERROR_FILE_NOT_FOUND ? stateFileProblem(StateFileFault::Missing)
              : attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                  ? stateFileProblem(StateFileFault::NotAFile)
                  : failed(path, code);
        return file;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info) || GetFileType(file) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        why = stateFileProblem(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT
                                   ? StateFileFault::Link
                                   : StateFileFault::NotAFile);
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

bool ownedByKeeper(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const bool owned = GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                       nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
                       keeperMayOwn(owner);
    LocalFree(descriptor);
    return owned;
}

// Writes text to a new file beside path, flushed, and moves it over path, so that readers see
// one or the other.
std::string replaceFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    DeleteFileW(wideOf(temporary).c_str());
    std::string why;
    const HANDLE file = openRegular(temporary, GENERIC_WRITE, CREATE_NEW, why);
    if (file == INVALID_HANDLE_VALUE) {
        return why;
    }
    DWORD written = 0;
    const bool done =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && FlushFileBuffers(file);
    const DWORD code = GetLastError();
    CloseHandle(file);
    if (!done || !MoveFileExW(wideOf(temporary).c_str(), wideOf(path).c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD moveCode = done ? GetLastError() : code;
        DeleteFileW(wideOf(temporary).c_str());
        return failed(path, moveCode);
    }
    return {};
}

}  // namespace

bool keeperMayOwn(PSID owner) {
    if (owner == nullptr || !IsValidSid(owner)) {
        return false;
    }
    for (const WELL_KNOWN_SID_TYPE kind :
         {WinLocalServiceSid, WinLocalSystemSid, WinBuiltinAdministratorsSid}) {
        if (IsWellKnownSid(owner, kind)) {
            return true;
        }
    }
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    const bool mine = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
                      EqualSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, owner);
    CloseHandle(token);
    return mine;
}

Win32KeeperStore::Win32KeeperStore(std::string folder) : m_folder(std::move(folder)) {}

Win32KeeperStore::~Win32KeeperStore() {
    if (m_lock != INVALID_HANDLE_VALUE) {
        CloseHandle(m_lock);
    }
}

std::string Win32KeeperStore::bootId() {
    // Windows counts its starts here; without it every run counts as one boot's, and an
    // earlier boot is told by the clocks alone.
    DWORD count = 0;
    DWORD size = sizeof count;
    const LSTATUS status =
        RegGetValueW(HKEY_LOCAL_MACHINE,
                     L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory "
                     L"Management\\PrefetchParameters",
                     L"BootId", RRF_RT_REG_DWORD, nullptr, &count, &size);
    return status == ERROR_SUCCESS ? "start-" + std::to_string(count) : "unknown";
}

std::string Win32KeeperStore::hold() {
    const std::string path = joinPath(m_folder, "lock");
    std::string why;
    m_lock = openRegular(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, why);
    if (m_lock == INVALID_HANDLE_VALUE) {
        return why;
    }
    // Another run holds it for a few seconds at most; the task's time limit ends a stuck one.
    OVERLAPPED whole{};
    return LockFileEx(m_lock, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)
               ? std::string()
               : failed(path, GetLastError());
}

std::optional<std::string> Win32KeeperStore::read(std::string& problem) {
    const HANDLE file = openRegular(joinPath(m_folder, "state"), GENERIC_READ | READ_CONTROL,
                                    OPEN_EXISTING, problem);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    std::string text;
    if (!ownedByKeeper(file)) {
        problem = stateFileProblem(StateFileFault::OtherOwner);
    } else if (!GetFileSizeEx(file, &size) ||
               static_cast<std::uint64_t>(size.QuadPart) > kLargestKeeperStateBytes) {
        problem = stateFileProblem(StateFileFault::TooLarge);
    } else {
        text.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr) ||
            read != text.size()) {
            problem = stateFileProblem(StateFileFault::Unreadable);
        }
    }
    CloseHandle(file);
    return problem.empty() ? std::optional<std::string>(text) : std::nullopt;
}

std::string Win32KeeperStore::write(const std::string& text) {
    return replaceFile(joinPath(m_folder, "state"), text);
}

std::string Win32KeeperStore::writeStatus(const std::string& text) {
    return replaceFile(joinPath(m_folder, "status"), text);
}

}  // namespace korvel
