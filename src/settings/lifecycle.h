#pragma once

namespace korvel {

struct MainForm;

// The main window's load step. Returns false when another copy runs: the refusal has been
// shown and the caller ends the program without anything else.
bool startUp(MainForm& form);

// The main window's unload step: the closing record when logging is on, then the files close.
void shutDown(MainForm& form);

// Command4: ends the program at once, without the closing record.
void exitNow(MainForm& form);

}  // namespace korvel
