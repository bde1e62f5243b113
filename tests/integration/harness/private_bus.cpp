#include "harness/private_bus.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace korvel::lab {

PrivateBus::PrivateBus(const std::filesystem::path& folder) : m_folder(folder) {
    std::filesystem::create_directories(folder);
    std::filesystem::remove(folder / "socket");
    const std::filesystem::path config = folder / "bus.conf";
    std::ofstream(config) << "<busconfig><type>system</type><listen>" << address()
                          << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                             "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
                             "<allow receive_sender=\"*\"/></policy></busconfig>\n";
    m_daemon = std::make_unique<ChildProcess>(
        "",
        std::vector<std::string>{"dbus-daemon", "--nofork", "--config-file=" + config.string()});
    for (int i = 0; i < 250 && !std::filesystem::exists(folder / "socket"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace korvel::lab
