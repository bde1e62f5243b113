#pragma once

#include <string>
#include <vector>

namespace korvel {

struct MainForm;
struct SettingsPanel;

// Command2: slides the window open to show the settings panel, or shut; brings the check
// boxes, scroll bars and status bar in line with the settings in effect.
void toggleSettingsPanel(MainForm& form);

// Command1 (确  定): applies the panel.
void applySettings(MainForm& form);

// Command7 (取  消, also Esc): puts the panel's controls back to the settings in effect.
void cancelSettings(MainForm& form);

// The rules of 确  定 that start-up options share:
// The log as Check2 and Text4 ask: ticked, logging goes on at the path, or the path's problem is
// shown and the result is false (logging stays as it was); clear, logging goes off.
bool applyLog(MainForm& form);
// The schedule and its limit as Check1, HScroll1, Check3 and HScroll2 ask.
void applySchedule(MainForm& form);
// The check boxes, scroll bars and both status-bar panels after the settings in effect.
void showSettingsInEffect(MainForm& form);

// Fills the boxes of the servers after the first (备用服务器 1 to 3), the rest left empty.
void showExtraServers(SettingsPanel& panel, const std::vector<std::string>& extraServers);

// Shared by start-up and apply: (re)opens the scratch file; a failure is shown and the
// program goes on.
void reopenScratchFile(MainForm& form);

// Connects the check boxes and scroll bars of the panel to their handlers.
void attachSettingsPanel(MainForm& form);

}  // namespace korvel
