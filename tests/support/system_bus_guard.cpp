#include "support/system_bus_guard.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace korvel::test {

namespace {

bool reachesRealSystemBus(const char* address) {
    if (address == nullptr || *address == '\0') {
        return true;  // the default is the machine's bus
    }
    const std::string text = address;
    const std::string prefix = "unix:path=";
    if (text.rfind(prefix, 0) != 0) {
        return true;  // anything else might lead anywhere
    }
    std::error_code error;
    const auto path = std::filesystem::weakly_canonical(text.substr(prefix.size()), error);
    for (const char* real : {"/run/dbus/system_bus_socket", "/var/run/dbus/system_bus_socket"}) {
        if (path == real ||
            (std::filesystem::exists(real) && std::filesystem::equivalent(path, real, error))) {
            return true;
        }
    }
    return false;
}

}  // namespace

void SystemBusGuard::SetUp() {
    if (reachesRealSystemBus(std::getenv("DBUS_SYSTEM_BUS_ADDRESS"))) {
        std::fprintf(stderr,
                     "refusing to run: DBUS_SYSTEM_BUS_ADDRESS must name a private bus "
                     "or an absent one (ctest sets it)\n");
        std::_Exit(70);
    }
#ifndef _WIN32
    // Keep tests out of the real user's folders (Windows names them through the shell).
    ::setenv("XDG_CONFIG_HOME", "/nonexistent/korvel-test-config", 1);
    ::setenv("XDG_DATA_HOME", "/nonexistent/korvel-test-data", 1);
#endif
}

}  // namespace korvel::test
