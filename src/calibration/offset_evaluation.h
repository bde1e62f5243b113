#pragma once

#include <cstdint>
#include <string>

namespace korvel {

struct MainForm;

// Whole seconds: a fraction above 0.5 goes away from zero, anything else toward zero.
double roundToWholeSeconds(double seconds);

// The offset box's text: a blank, the offset with six decimals, " 秒".
std::string offsetDisplayText(double offsetSec);

// Evaluates the difIDd replies in records 1..difIDd: rejects the burst when four or more are
// flagged, otherwise takes the mean offset of the fastest after dropping the two extremes,
// shows it, arms the correction for 34 s and, for a scheduled burst, decides on correcting.
void adjust(MainForm& form, const std::int16_t& difIDd);

}  // namespace korvel
