#pragma once

namespace korvel {

struct MainForm;

// Timer7, every 500 ms: animates the caption while a measurement runs, restores the title
// and stops itself otherwise.
void captionTick(MainForm& form);

}  // namespace korvel
