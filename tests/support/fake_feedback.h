#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/user_feedback.h"
#include "platform/windows.h"

namespace korvel::test {

// Records each message and question; a question runs whileAsked, as time passes while the box
// is open, then gives the scripted answer.
class ScriptedMessageBox final : public MessageBox {
public:
    void show(const std::string& text) override { shown.push_back(text); }
    bool confirm(const std::string& text) override {
        asked.push_back(text);
        if (whileAsked) {
            whileAsked();
        }
        return answer;
    }
    std::vector<std::string> shown;
    std::vector<std::string> asked;
    bool answer = true;
    std::function<void()> whileAsked;
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
    void showBurstDetails() override {}
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
