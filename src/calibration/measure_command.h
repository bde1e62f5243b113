#pragma once

namespace korvel {

struct MainForm;

// Command5: starts one burst. Closes the gates, pauses the clock display, logs the start,
// resets the counters and starts the sender and the time-out.
void measureCommand(MainForm& form);

}  // namespace korvel
