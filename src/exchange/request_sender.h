#pragma once

namespace korvel {

struct MainForm;

// Timer1: one SNTP request per tick, 30 per burst; the 31st tick stops the timer.
void requestTick(MainForm& form);

}  // namespace korvel
