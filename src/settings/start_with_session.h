#pragma once

#include "common/window_options.h"
#include "platform/session_start.h"

namespace korvel {

struct MainForm;

// After start-up: the window's command-line options applied as the settings panel's 确  定
// applies its controls, each setting on its own: a problem is shown and leaves its setting off.
void applyStartOptions(MainForm& form, const WindowOptions& options);

// The 选项 menu's 登录时启动 tick after whether the entry is there.
void showStartWithSession(MainForm& form, SessionStart& entry);

// 登录时启动: makes the entry with the settings in effect, or removes it; a failure is shown
// and the tick follows the entry.
void toggleStartWithSession(MainForm& form, SessionStart& entry);

}  // namespace korvel
