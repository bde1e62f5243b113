#pragma once

namespace korvel {

struct MainForm;

// Toolbar buttons 1..9: each runs its command when its gate is open, otherwise the status
// indicator shows the refusal for two seconds.
void toolbarClick(MainForm& form, int buttonIndex);

// Menu items.
void cheshiClick(MainForm& form);   // 测时(&C)
void xiaoshiClick(MainForm& form);  // 校准(&A)
void shezhiClick(MainForm& form);   // 设置(&S)
void guanyuClick(MainForm& form);   // 关于(&W)

// Timer6: the indicator returns to rest after a refusal.
void indicatorResetTick(MainForm& form);

// Opens a new help viewer on HELP.HTM in the program's folder.
void helpCommand(MainForm& form);

}  // namespace korvel
