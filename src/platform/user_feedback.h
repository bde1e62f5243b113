#pragma once

#include <string>

namespace korvel {

// A modal box with the text and only an OK button; returns when the user dismisses it.
// Timer ticks keep being delivered while it is open.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void show(const std::string& text) = 0;
};

class Beeper {
public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
};

// Whether another copy of this program is running; the first copy holds the claim until it
// ends.
class InstanceGuard {
public:
    virtual ~InstanceGuard() = default;
    virtual bool anotherCopyRunning() = 0;
};

}  // namespace korvel
