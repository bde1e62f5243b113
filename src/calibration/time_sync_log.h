#pragma once

#include <string>
#include <string_view>

#include "common/system_time.h"

namespace korvel {

struct MainForm;

// Line layouts.
std::string eventLine(const SystemTime& local, std::string_view text);
std::string scheduledStartLine(const SystemTime& local);
std::string resultLine(double offsetSec, bool autoRun);

// Writers: nothing is written while logging is off. The first line of a run that does not
// reach the file is said once, after the handler.
void logEvent(MainForm& form, std::string_view text);
void logPlain(MainForm& form, const std::string& line);

// The default log file: the program folder and the start date, "mm-dd-yyyy.log".
std::string defaultLogPath(const std::string& programFolder, const SystemTime& localNow);

}  // namespace korvel
