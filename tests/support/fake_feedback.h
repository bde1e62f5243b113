#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/user_feedback.h"

namespace korvel::test {

// Records each message; whileOpen runs as if timers ticked behind the modal box.
class ScriptedMessageBox final : public MessageBox {
public:
    void show(const std::string& text) override {
        shown.push_back(text);
        if (whileOpen) {
            whileOpen();
        }
    }
    std::vector<std::string> shown;
    std::function<void()> whileOpen;
};

class BeepRecorder final : public Beeper {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

class FakeInstanceGuard final : public InstanceGuard {
public:
    bool anotherCopyRunning() override { return otherCopy; }
    bool otherCopy = false;
};

}  // namespace korvel::test
