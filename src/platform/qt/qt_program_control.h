#pragma once

#include "platform/windows.h"

namespace korvel {

// Ends the program from inside a handler: every window disappears, the event loop returns as
// soon as the handler does, and nothing of the program runs after this.
class QtProgramControl final : public ProgramControl {
public:
    void endNow() override;
};

}  // namespace korvel
