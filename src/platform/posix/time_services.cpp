#include "platform/posix/time_services.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>

namespace korvel {

namespace {

struct KnownService {
    std::string_view command;  // as the kernel shows it, cut to 15 characters
    std::string_view name;
};

constexpr std::array<KnownService, 3> kKnownServices{{
    {"chronyd", "chronyd"},
    {"ntpd", "ntpd"},
    {"systemd-timesyn", "systemd-timesyncd"},
}};

bool isProcessFolder(const std::string& name) {
    return !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string runningTimeService(const std::string& procRoot) {
    namespace fs = std::filesystem;
    std::set<std::string> commands;
    std::error_code error;
    for (fs::directory_iterator entry(procRoot, error), end; !error && entry != end;
         entry.increment(error)) {
        if (!isProcessFolder(entry->path().filename().string())) {
            continue;
        }
        std::ifstream comm(entry->path() / "comm");
        std::string command;
        if (std::getline(comm, command)) {
            commands.insert(command);
        }
    }
    for (const KnownService& service : kKnownServices) {
        if (commands.contains(std::string(service.command))) {
            return std::string(service.name);
        }
    }
    return {};
}

}  // namespace korvel
