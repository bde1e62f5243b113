#pragma once

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/form/form_actions.h"
#include "ui/form/form_layout.h"
#include "ui/form/main_form.h"
#include "ui/form/window_slide.h"
#include "ui/win32/win32_drawing.h"

namespace korvel {

// The main window on user32 and comctl32: draws the window state of MainForm from the designed
// layout and hands the user's actions on. It keeps no state of the program's own.
class Win32Form1 {
public:
    // The form outlives the window. Tells the form the screen's width.
    Win32Form1(MainForm& form, FormActions actions);
    ~Win32Form1();
    Win32Form1(const Win32Form1&) = delete;
    Win32Form1& operator=(const Win32Form1&) = delete;

    HWND handle() const { return m_window; }
    // The window class and the numbers of the designed controls, by which tools outside the
    // program find them.
    static constexpr const wchar_t* kClassName = L"KorvelForm1";
    static int controlId(std::string_view name);
    // Gives the window's keyboard handling (Tab between controls, Esc) its look at a message
    // of the loop; true when it took the message.
    bool takeKeyboardMessage(MSG& message);
    // A second copy's request to the running one: to the front, out of the tray if need be.
    static void bringRunningCopyToFront();

private:
    struct Control {
        const layout::ControlLayout* layout;
        HWND handle;
    };

    static UINT frontMessage();
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void createMenus();
    void createToolbar();
    void createControls();
    void createStatusBar();
    void loadPictures();
    void layOut();
    void applyGeometry(const WindowSlide::Geometry& geometry, WindowSlide::Place place);
    void followModels();
    void drawControl(const Control& control);
    void drawIndicator();
    RECT sizeStatusPanels();  // gives the last panel's place
    void drawStatusPanels();
    void command(int id, int notification);
    void comboChange(const Control& control, int notification);
    void scroll(HWND bar, int request);
    LRESULT colorOf(HDC context, HWND control);
    LRESULT toolTipText(NMTTDISPINFOW& request);
    const Control* controlOf(HWND handle) const;
    int pixels(int twips) const { return twipsToPixels(twips, m_dpi); }

    MainForm& m_form;
    FormActions m_actions;
    HWND m_window = nullptr;
    HWND m_toolbar = nullptr;
    HWND m_statusBar = nullptr;
    HWND m_toolTips = nullptr;
    HIMAGELIST m_pictures = nullptr;
    bool m_shielded = false;  // 校准 asks for elevation: its button and menu item show the shield
    HBITMAP m_shieldBitmap = nullptr;
    HBRUSH m_faceBrush = nullptr;
    HBRUSH m_displayBrush = nullptr;
    UINT m_dpi = USER_DEFAULT_SCREEN_DPI;
    FontCache m_fonts;
    std::vector<Control> m_controls;
    std::wstring m_toolTip;  // the text a tool tip is showing
    // Redrawing from a model: the controls' notifications are not the user's.
    bool m_drawing = false;
    // End with the window.
    std::vector<Connection> m_connections;
    std::optional<WindowSlide> m_slide;
};

}  // namespace korvel
