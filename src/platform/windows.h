#pragma once

#include <string>

namespace korvel {

// The program's other windows, opened by the main window's commands.
class SecondaryWindows {
public:
    virtual ~SecondaryWindows() = default;
    // The About box, modal with the main window as owner; returns when it is closed. Timer
    // ticks keep being delivered meanwhile.
    virtual void showAboutBox() = 0;
    // A new, independent help viewer on the page address; returns at once, false when no
    // viewer could be started.
    virtual bool openHelpViewer(const std::string& pageAddress) = 0;
    // The window that plots the last burst and this run's offsets; one at a time, raised when
    // it is open already.
    virtual void showBurstDetails() = 0;
};

// Ending the program.
class ProgramControl {
public:
    virtual ~ProgramControl() = default;
    // Ends the program at once: no further handler runs, open files are closed with their
    // data written, the socket is released. The caller returns without doing anything more.
    virtual void endNow() = 0;
};

}  // namespace korvel
