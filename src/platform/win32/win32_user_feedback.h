#pragma once

#include <string>

#include "platform/registry.h"
#include "platform/user_feedback.h"
#include "platform/windows.h"

namespace korvel {

// A box over the active window of the program, so it stays modal to the window it concerns.
class Win32MessageBox final : public MessageBox {
public:
    explicit Win32MessageBox(std::string title) : m_title(std::move(title)) {}
    void show(const std::string& text) override;
    bool confirm(const std::string& text) override;

private:
    std::string m_title;
};

class Win32Beeper final : public Beeper {
public:
    void beep() override;
};

// Ends the message loop: the windows disappear at once and the loop dispatches nothing more.
class Win32ProgramControl final : public ProgramControl {
public:
    void endNow() override;
    bool ended() const { return m_ended; }

private:
    bool m_ended = false;
};

// Starts programs and opens documents through the shell.
class Win32ProgramLauncher final : public ProgramLauncher {
public:
    bool start(const std::string& path) override;
};

}  // namespace korvel
