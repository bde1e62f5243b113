#pragma once

#include <string>

namespace korvel {

// The time service among the processes listed under procRoot (normally "/proc") that steers
// the system clock: "chronyd", "ntpd" or "systemd-timesyncd", in that order of preference;
// empty when none runs. Processes that cannot be read are passed over.
std::string runningTimeService(const std::string& procRoot);

}  // namespace korvel
