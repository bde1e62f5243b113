#pragma once

#include <string>

namespace korvel {

// The time service among the processes listed under procRoot (normally "/proc") that steers
// the system clock: "chronyd", "ntpd" or "systemd-timesyncd", in that order of preference,
// with its process id ("chronyd (pid 812)"); empty when none runs. Only a process of root, a
// system user or a user systemd made for a service counts, and not chronyd -x or -Q, which
// leave the clock alone. Processes that cannot be read are passed over.
std::string runningTimeService(const std::string& procRoot);

}  // namespace korvel
