#pragma once

#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/windows.h"
#include "ui/win32/win32_user_feedback.h"

namespace korvel {

// The About box, modal over the main window, and help: the page opens in the user's default
// web browser.
class Win32SecondaryWindows final : public SecondaryWindows {
public:
    // All three must outlive this object.
    Win32SecondaryWindows(Registry& registry, FileSystem& files, ProgramLauncher& launcher);

    // The main window, owner of the About box; set once it exists.
    void setOwner(HWND owner) { m_owner = owner; }

    void showAboutBox() override;
    void openHelpViewer(const std::string& pageAddress) override;

private:
    HWND m_owner = nullptr;
    Registry& m_registry;
    FileSystem& m_files;
    ProgramLauncher& m_launcher;
};

}  // namespace korvel
