#pragma once

#include <functional>

namespace korvel {

// What the window's controls run. The program points these at the core's handlers; the
// window itself only calls them.
struct FormActions {
    std::function<void(int buttonIndex)> toolbarClick;  // toolbar buttons 1..9
    std::function<void()> cheshiClick;                  // 测时(&C)
    std::function<void()> xiaoshiClick;                 // 校准(&A)
    std::function<void()> shezhiClick;                  // 设置(&S)
    std::function<void()> guanyuClick;                  // 关于(&W)
    std::function<void()> applySettings;                // Command1, 确  定
    std::function<void()> cancelSettings;               // Command7, 取  消 and Esc
    std::function<void()> exitNow;                      // Command4, 退 出
    std::function<bool()> closeWindow;          // the close box; false: not yet, or to the tray
    std::function<void()> openWindow;           // the tray's 打开 and a click on its icon
    std::function<void(bool shown)> trayShown;  // the system shows the tray's icon, or not
    // The 选项 menu.
    std::function<void()> toggleStartWithSession;
    std::function<void()> toggleCloseToTray;
    std::function<void()> showBurstDetails;
};

}  // namespace korvel
