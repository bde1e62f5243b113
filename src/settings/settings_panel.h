#pragma once

#include <string>
#include <vector>

namespace korvel {

struct MainForm;

// Command2: slides the window open to show the settings panel, or shut; brings the check
// boxes, scroll bars and status bar in line with the settings in effect.
void toggleSettingsPanel(MainForm& form);

// Command1 (确  定): applies the panel.
void applySettings(MainForm& form);

// Command7 (取  消, also Esc): puts the panel's controls back to the settings in effect.
void cancelSettings(MainForm& form);

// Fills the boxes of the servers after the first (备用服务器 1 to 3), the rest left empty.
void showExtraServers(MainForm& form, const std::vector<std::string>& extraServers);

// Connects the check boxes and scroll bars of the panel to their handlers.
void attachSettingsPanel(MainForm& form);

}  // namespace korvel
