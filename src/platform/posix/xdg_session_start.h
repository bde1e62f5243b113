#pragma once

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/session_start.h"

namespace korvel {

// korvel.desktop in the user's autostart folder ($XDG_CONFIG_HOME/autostart), written
// atomically; its Exec key quoted so that every argument comes back as it was, also through
// GLib's loader. A program path that holds "=" cannot be written there.
class XdgSessionStart final : public SessionStart {
public:
    XdgSessionStart(FileSystem& files, std::string programPath);
    bool isOn() override;
    bool turnOn(const std::vector<std::string>& arguments) override;
    bool turnOff() override;
    std::string location() override;
    std::string cannotHoldProgram() override;

private:
    std::string entryPath(bool create);

    FileSystem& m_files;
    std::string m_programPath;
};

}  // namespace korvel
