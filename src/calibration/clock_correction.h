#pragma once

#include "common/system_time.h"

namespace korvel {

struct MainForm;

// The UTC record read plus offsetSec, carried into the date when it leaves the day; the
// day-of-week field keeps the value read. Milliseconds that round to 1000 carry into the
// seconds.
SystemTime correctedTime(const SystemTime& utc, double offsetSec);

// Command6: sets the system clock to UTC now plus the measured offset, once per offset.
void clockCorrection(MainForm& form);

}  // namespace korvel
