#pragma once

#include <string>

namespace korvel {

struct MainForm;

// The main window's unload step: the closing record when logging is on, then the files
// close and the window's timers and socket stop, even if a help viewer keeps the program on.
// While a correction awaits its answer nothing happens yet and the result is false: the
// correction closes the program when the answer has come.
bool shutDown(MainForm& form);

// Command4: ends the program at once, without the closing record.
void exitNow(MainForm& form);

// A message box with the notice once the running handler has returned: never a modal box
// inside an evaluation or correction, where it would hold a scheduled one until answered.
void showAfterHandler(MainForm& form, std::string notice);

// Ends the program at once; nothing of the window runs afterwards.
void endProgramNow(MainForm& form);

}  // namespace korvel
