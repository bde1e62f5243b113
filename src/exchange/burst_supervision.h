#pragma once

namespace korvel {

struct MainForm;

inline constexpr int kFewestEvaluatedReplies = 10;

// Timer2, 10 s after the burst started: report no server or a congested network, or evaluate
// the 10 to 24 replies at hand.
void burstTimeoutTick(MainForm& form);

// Timer3, 34 s after an evaluation: the offset may no longer be applied.
void validityTick(MainForm& form);

}  // namespace korvel
