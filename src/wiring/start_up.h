#pragma once

namespace korvel {

struct MainForm;

// The main window's load step: connects the handlers to the controls, timers and system
// events, then reads the settings. Returns false when another copy runs: the refusal has been
// shown and the caller ends the program without anything else.
bool startUp(MainForm& form);

}  // namespace korvel
