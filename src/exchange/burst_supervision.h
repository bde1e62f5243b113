#pragma once

#include "sntp/outcome.h"

namespace korvel {

struct MainForm;

// Timer2, 10 s after the burst started: report no server or a congested network, or evaluate
// the 10 to 24 replies at hand.
void burstTimeoutTick(MainForm& form);

// The burst cannot go on (its server was not reached): it ends at once as a timed-out one
// would, with this outcome when no reply was counted.
void endBurstEarly(MainForm& form, OutcomeRecord failure);

// Timer3, 34 s after an evaluation: the offset may no longer be applied.
void validityTick(MainForm& form);

}  // namespace korvel
