#pragma once

#include <cstdint>

namespace korvel {

struct MainForm;

// Evaluates the difIDd replies in records 1..difIDd (left in evaluation order): rejects the
// burst when four or more are flagged, otherwise takes the mean offset of the fastest after
// dropping the two extremes, shows it, arms the correction for 34 s and, for a scheduled
// burst, decides on correcting.
void adjust(MainForm& form, const std::int16_t& difIDd);

}  // namespace korvel
