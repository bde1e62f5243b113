#pragma once

namespace korvel {

struct MainForm;

// The local clock alone; while a burst pauses Timer5, every 200 ms.
void showLocalClock(MainForm& form);

// Timer5, every 200 ms: shows the local clock and, while an offset is valid, the server
// clock; withdraws the offset when the local clock jumps; starts scheduled measurements.
void clockTick(MainForm& form);

}  // namespace korvel
