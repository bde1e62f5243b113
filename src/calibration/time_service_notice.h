#pragma once

#include <string>

namespace korvel {

struct MainForm;

// The hint shown when another time service steers the clock.
std::string competingServiceNotice(const std::string& serviceName);

// Before a correction: the notice naming another running time service that may undo the
// step, empty when there is none. The correction goes ahead either way.
std::string competingTimeServiceNotice(MainForm& form);

}  // namespace korvel
