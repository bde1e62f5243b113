#pragma once

#include <string>

#include "common/system_time.h"

namespace korvel {

// "mm-dd-yyyy", the date form of the log and of the default log file name.
std::string logDateText(const SystemTime& local);
// "hh:mm:ss" in 24-hour form.
std::string logTimeText(const SystemTime& local);
// " yyyy-mm-dd  hh:mm:ss", the form of the two clock boxes.
std::string clockDisplayText(double dayDate);
// An offset with at least one integer digit and exactly six decimals, minus sign first.
std::string sixDecimals(double seconds);
// Tenths shown as hours with one decimal: 1 -> "0.1", 12 -> "1.2".
std::string tenthsAsHours(int tenths);

// Half-way values go to the even neighbour, as the program's conversions to integers do.
double roundHalfEven(double value);

}  // namespace korvel
