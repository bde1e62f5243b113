#pragma once

#include <string>
#include <vector>

#include "platform/user_feedback.h"
#include "platform/windows.h"

namespace korvel::test {

// Records each message.
class ScriptedMessageBox final : public MessageBox {
public:
    void show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
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

class FakeWindows final : public SecondaryWindows {
public:
    void showAboutBox() override { ++aboutBoxesShown; }
    bool openHelpViewer(const std::string& pageAddress) override {
        helpViewers.push_back(pageAddress);
        return helpOpens;
    }
    bool helpOpens = true;
    int aboutBoxesShown = 0;
    std::vector<std::string> helpViewers;
};

class FakeProgram final : public ProgramControl {
public:
    void endNow() override { ++ended; }
    int ended = 0;
};

}  // namespace korvel::test
