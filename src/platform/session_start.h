#pragma once

#include <string>
#include <vector>

namespace korvel {

// The user's own entry that starts the window program when their session starts.
class SessionStart {
public:
    virtual ~SessionStart() = default;
    // Whether the entry is there.
    virtual bool isOn() = 0;
    // Makes the entry, replacing one there, so that the program starts with these arguments
    // after its name; false when it could not be written (nothing half-written stays).
    virtual bool turnOn(const std::vector<std::string>& arguments) = 0;
    // Removes the entry; false when it is still there.
    virtual bool turnOff() = 0;
    // Where the entry lives, for messages: a file or a registry value.
    virtual std::string location() = 0;
    // Why the entry cannot start this program at all, for messages; empty when it can.
    virtual std::string cannotHoldProgram() { return {}; }
};

}  // namespace korvel
