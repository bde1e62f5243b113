#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "harness/net_lab.h"

namespace korvel::lab {

// A dbus-daemon of the test's own, listening on a socket in the given folder, standing in for
// the system bus: any user may connect and own any name on it. Stopped when this object goes.
class PrivateBus {
public:
    explicit PrivateBus(const std::filesystem::path& folder);

    std::string address() const { return "unix:path=" + (m_folder / "socket").string(); }

private:
    std::filesystem::path m_folder;
    std::unique_ptr<ChildProcess> m_daemon;
};

}  // namespace korvel::lab
