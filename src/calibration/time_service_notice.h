#pragma once

#include <string>

namespace korvel {

struct MainForm;

// The hint shown when another time service steers the clock.
std::string competingServiceNotice(const std::string& serviceName);

// Before a correction: the offset box's tool tip names another running time service that may
// undo the step, and is empty when there is none. The correction goes ahead either way.
void noteCompetingTimeService(MainForm& form);

}  // namespace korvel
