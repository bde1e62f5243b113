#pragma once

#include <functional>

namespace korvel {

// What the system says about the machine that bears on reaching a time server.
enum class SystemEvent {
    Suspending,  // the machine is about to sleep or hibernate; Resumed follows every one
    Resumed,     // the machine woke up; its network may still be coming back
    NetworkUp,   // a network connection came up where there was none
};

// Reports system events on the program's thread, between other handlers. Where the system has
// no such source (no logind, no network information) nothing is ever reported.
class SystemEventWatch {
public:
    virtual ~SystemEventWatch() = default;
    // Replaces the handler; an empty one stops the reports.
    virtual void setHandler(std::function<void(SystemEvent)> handler) = 0;
};

// Where nothing runs long enough to care, as in the command-line tool.
class NoSystemEvents final : public SystemEventWatch {
public:
    void setHandler(std::function<void(SystemEvent)>) override {}
};

}  // namespace korvel
