#pragma once

#include <string>
#include <string_view>

#include "platform/files.h"

namespace korvel {

// Files through the wide Windows API. Text is written in the system's ANSI code page with
// CR LF, as older logs of this kind are, so appending never mixes encodings; where that code
// page cannot hold the program's Chinese texts, in UTF-8 with a byte-order mark instead.
// The user's local folder of the program, or why there is none.
struct LocalFolder {
    std::string path;
    std::string problem;
};

class Win32FileSystem final : public FileSystem {
public:
    Win32FileSystem(std::string programFolder, LocalFolder localFolder, std::string siteFolder);

    std::string programFolder() override { return m_programFolder; }

    std::string siteFolder() override { return m_siteFolder; }
    // The user's own profile folders are private to the user on Windows.
    std::string privateRuntimeFolder() override { return m_localFolder.path; }
    std::string runtimeFolderProblem() override { return m_localFolder.problem; }
    std::unique_ptr<ByteFile> openByteFile(const std::string& path, FileError& error) override;
    std::unique_ptr<TextAppender> openAppend(const std::string& path, FileError& error) override;
    std::optional<std::string> readFirstLine(const std::string& path) override;
    FileError replaceWithLine(const std::string& path, const std::string& utf8Line) override;
    FileError updateLine(const std::string& path, const LineChange& change) override;
    bool exists(const std::string& path) override;
    void remove(const std::string& path) override;
    std::string userFolder(UserFolder kind, bool create) override;
    bool mayCreateIn(const std::string& folder) override;

private:
    std::string m_programFolder;
    LocalFolder m_localFolder;
    std::string m_siteFolder;
};

// The folder of the site's settings: %ProgramData%\KORVEL where only administrators may have
// chosen what it holds (see onlyAdministratorsMayChange), else the program's own folder, as
// for a copy that was never installed.
std::string siteSettingsFolder(const std::string& programFolder);
// Whether a folder with this security descriptor holds only what administrators put there:
// Administrators or SYSTEM own it, and no entry of its access list lets anyone else write to
// it, add to it, delete in it or change its access (entries for its children only aside).
bool onlyAdministratorsMayChange(void* securityDescriptor);

// How text files are written on a system with the given ANSI code page; 0 means UTF-8.
unsigned textCodePage(unsigned ansiCodePage);
// A line as it goes into a file in that code page (0: UTF-8), CR LF at its end.
std::string encodedLine(unsigned codePage, std::string_view utf8Line);
// A file's bytes as UTF-8: a UTF-8 byte-order mark or valid UTF-8 is taken as it is, anything
// else is read in the ANSI code page.
std::string decodedText(unsigned ansiCodePage, std::string_view bytes);

// The folder that holds this executable (GetModuleFileNameW).
std::string executableFolder();
// %LOCALAPPDATA%\KORVEL, created when absent: the scratch file's folder.
LocalFolder localDataFolder();

}  // namespace korvel
