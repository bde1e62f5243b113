#include "platform/posix/time_services.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
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

// Root, a system user (Debian's below 1000) or one systemd makes for a service: a process a
// user started under the service's name (a copy of sleep called ntpd) is none of these.
bool runByTheSystem(const std::filesystem::path& process) {
    std::ifstream status(process / "status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Uid:")) {
            const unsigned long uid = std::strtoul(line.c_str() + 4, nullptr, 10);
            return uid < 1000 || (uid >= 61184 && uid <= 65519);
        }
    }
    return false;
}

// chronyd -x never touches the clock, and -Q only asks.
bool steersTheClock(const std::filesystem::path& process) {
    std::ifstream cmdline(process / "cmdline");
    for (std::string argument; std::getline(cmdline, argument, '\0');) {
        if (argument == "-x" || argument == "-Q") {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string runningTimeService(const std::string& procRoot) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> processes;  // command, its process id
    std::error_code error;
    for (fs::directory_iterator entry(procRoot, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string id = entry->path().filename().string();
        if (!isProcessFolder(id)) {
            continue;
        }
        std::ifstream comm(entry->path() / "comm");
        std::string command;
        if (std::getline(comm, command) && runByTheSystem(entry->path()) &&
            steersTheClock(entry->path())) {
            processes.emplace(command, id);
        }
    }
    for (const KnownService& service : kKnownServices) {
        if (const auto found = processes.find(std::string(service.command));
            found != processes.end()) {
            return std::string(service.name) + " (pid " + found->second + ")";
        }
    }
    return {};
}

}  // namespace korvel
