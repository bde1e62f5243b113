#pragma once

#include "sntp/outcome.h"

namespace korvel {

struct MainForm;

// A burst's end on the window, its evaluation (records and result) already on the form: a
// failure is said and the gates open; an evaluated offset is shown, armed for 34 s and logged,
// and for a scheduled burst the correction policy decides whether the clock is stepped.
void adjust(MainForm& form, const OutcomeRecord& evaluation);

}  // namespace korvel
