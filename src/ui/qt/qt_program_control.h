#pragma once

#include <functional>

#include "platform/windows.h"

namespace korvel {

// Ends the program from inside a handler: every window disappears, the event loop returns as
// soon as the handler does, and nothing of the program runs after this.
class QtProgramControl final : public ProgramControl {
public:
    // What must stop before the end: the window state's timers and socket, which could
    // otherwise still deliver an event queued in the same pass of the loop.
    void setBeforeEnd(std::function<void()> beforeEnd) { m_beforeEnd = std::move(beforeEnd); }
    void endNow() override;

private:
    std::function<void()> m_beforeEnd;
};

}  // namespace korvel
