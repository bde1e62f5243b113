#pragma once

#include "platform/system_events.h"

namespace korvel {

struct MainForm;

// The local clock alone; while a burst pauses Timer5, every 200 ms.
void showLocalClock(MainForm& form);

// Timer5, every 200 ms: shows the local clock and, while an offset is valid, the server
// clock; withdraws the offset when the local clock jumps; starts scheduled measurements.
void clockTick(MainForm& form);

// The scheduler holds while the machine sleeps and, after a wake or a reconnection, until
// resumeWaitTimer ends: a measurement then would find no network yet.
void systemEventArrived(MainForm& form, SystemEvent event);

// With automatic calibration on, the measurement held back after a wake or a reconnection; the
// schedule counts from here.
void resumeWaitTick(MainForm& form);

}  // namespace korvel
