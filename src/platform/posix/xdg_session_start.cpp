#include "platform/posix/xdg_session_start.h"

#include <optional>
#include <string_view>
#include <utility>

namespace korvel {

namespace {

constexpr const char* kEntryName = "korvel.desktop";

// One argument of an Exec key: quoted when it holds a reserved character, with the quoting's
// escapes inside; "%" doubled, as field codes start with it.
std::string execArgument(std::string_view argument) {
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote =
        argument.empty() || argument.find_first_of(kReserved) != std::string_view::npos;
    std::string out = quote ? "\"" : "";
    for (const char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            out += '\\';
        }
        out += c;
        if (c == '%') {
            out += '%';
        }
    }
    return quote ? out + '"' : out;
}

// The escapes of a string value, which a reader undoes before the Exec key's quoting.
std::string stringValue(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The entry that starts the command line (the program's path first) with the session.
std::optional<std::string> autostartEntryText(const std::vector<std::string>& commandLine) {
    if (commandLine.empty() || commandLine.front().find('=') != std::string::npos) {
        return std::nullopt;
    }
    // GLib looks the program up before it undoes the doubled "%" and refuses the entry when
    // it finds none; env, found by its name, takes the path as an argument instead.
    std::string exec = commandLine.front().find('%') != std::string::npos ? "env" : "";
    for (const std::string& argument : commandLine) {
        exec += (exec.empty() ? "" : " ") + execArgument(argument);
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=KORVEL\n"
           "Comment=Time synchronisation, started with the session\n"
           "Comment[zh_CN]=登录时启动的网络校时\n"
           "Exec=" +
           stringValue(exec) +
           "\n"
           "Icon=korvel\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true";
}

}  // namespace

XdgSessionStart::XdgSessionStart(FileSystem& files, std::string programPath)
    : m_files(files), m_programPath(std::move(programPath)) {}

std::string XdgSessionStart::entryPath(bool create) {
    const std::string folder = m_files.userFolder(UserFolder::Autostart, create);
    return folder.empty() ? std::string() : joinPath(folder, kEntryName);
}

bool XdgSessionStart::isOn() {
    const std::string path = entryPath(false);
    return !path.empty() && m_files.exists(path);
}

bool XdgSessionStart::turnOn(const std::vector<std::string>& arguments) {
    std::vector<std::string> commandLine{m_programPath};
    commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
    const auto text = autostartEntryText(commandLine);
    const std::string path = entryPath(true);
    // The last line's end comes with the write.
    return text && !path.empty() && m_files.replaceWithLine(path, *text) == FileError::None;
}

bool XdgSessionStart::turnOff() {
    if (const std::string path = entryPath(false); !path.empty()) {
        m_files.remove(path);
    }
    return !isOn();
}

std::string XdgSessionStart::cannotHoldProgram() {
    return m_programPath.find('=') != std::string::npos
               ? "程序路径 " + m_programPath + " 含有“=”，桌面启动项无法记录这样的路径"
               : std::string();
}

std::string XdgSessionStart::location() {
    const std::string path = entryPath(false);
    return path.empty() ? std::string("~/.config/autostart/") + kEntryName : path;
}

}  // namespace korvel
