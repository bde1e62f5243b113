#pragma once

namespace korvel {

struct MainForm;

// 选项 → 关闭时留在托盘: ticks or unticks the option.
void toggleCloseToTray(MainForm& form);

// The window's close box. With the option ticked and the tray showing the icon the window goes
// to the tray; otherwise the unload step runs (shutDown). True when the window closes.
bool closeWindow(MainForm& form);

// 打开 in the tray's menu, and a click on the icon.
void openWindow(MainForm& form);

// The window's first showing, once the views are built: in the tray alone when the option is
// ticked and the tray shows the icon.
void showWindowAtStart(MainForm& form);

// The system shows the tray's icon, or no longer does; a window left in a tray that went away
// comes back, so the user is never left without one.
void trayShown(MainForm& form, bool shown);

}  // namespace korvel
