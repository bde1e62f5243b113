#pragma once

namespace korvel {

struct MainForm;

// Command5: starts one burst. Closes the gates, pauses the clock display (the local clock goes
// on), logs the start, resets the counters, starts the reply count, the sender and the
// time-out.
void measureCommand(MainForm& form);

}  // namespace korvel
