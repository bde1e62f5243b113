#pragma once

#include <windows.h>

#include <string>

#include "platform/windows.h"
#include "ui/form/about_box.h"

namespace korvel {

class BurstDetails;

// The About box, modal over the main window, and help: the page opens in the user's default
// web browser.
class Win32SecondaryWindows final : public SecondaryWindows {
public:
    // The services must outlive this object; help opens through their launcher.
    explicit Win32SecondaryWindows(const SysInfoServices& services);

    // The main window, owner of the About box; set once it exists.
    void setOwner(HWND owner) { m_owner = owner; }
    // What the details window shows; set once it exists, and it must outlive the owner.
    void setBurstDetails(BurstDetails& details) { m_burstDetails = &details; }

    void showAboutBox() override;
    bool openHelpViewer(const std::string& pageAddress) override;
    void showBurstDetails() override;

private:
    HWND m_owner = nullptr;
    SysInfoServices m_services;
    BurstDetails* m_burstDetails = nullptr;
    HWND m_burstDetailsWindow = nullptr;  // while it is open
};

}  // namespace korvel
