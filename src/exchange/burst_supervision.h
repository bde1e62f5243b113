#pragma once

#include "sntp/outcome.h"

namespace korvel {

struct MainForm;

// Timer2, 10 s after the burst started: report no server or a congested network, or evaluate
// the 10 to 24 replies at hand.
void burstTimeoutTick(MainForm& form);

// The burst sends no more requests: from now on it is evaluated once its replies stop, when
// ten or more are in.
void requestsOut(MainForm& form);

// A reply was counted: while the requests are out, the replies have not stopped yet, unless
// every request to a server still asked is answered and ten or more replies are in.
void replyCounted(MainForm& form);

// The quiet timer: the replies stopped (nothing for max(1 s, 3 × the largest delay seen)) or
// no server may be asked. Ten or more replies are evaluated; with fewer, a burst that can
// still hear from a server waits for its time-out.
void quietTick(MainForm& form);

// A server left the rotation. When none is left and none is still being looked up, the
// requests are out; with fewer than ten replies the burst ends at once, saying why.
void serverLeft(MainForm& form);

// The burst's progress leaves the window: the reply count, and the local clock shown while
// Timer5 was paused. A step that may still land is said again.
void burstEnded(MainForm& form);

// Timer3, 34 s after an evaluation: the offset may no longer be applied.
void validityTick(MainForm& form);

}  // namespace korvel
