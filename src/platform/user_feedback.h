#pragma once

#include <string>

namespace korvel {

// Modal boxes: each returns when the user dismisses it. Timer ticks keep being delivered while
// one is open, so the window's state may have changed by then.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    // The text and only an OK button.
    virtual void show(const std::string& text) = 0;
    // The text with 确定 and 取消, 取消 the default; true for 确定.
    virtual bool confirm(const std::string& text) = 0;
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
