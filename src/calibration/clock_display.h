#pragma once

namespace korvel {

struct MainForm;

// Timer5, every 200 ms: shows the local clock and, while an offset is valid, the server
// clock; withdraws the offset when the local clock jumps; starts scheduled measurements.
void clockTick(MainForm& form);

}  // namespace korvel
