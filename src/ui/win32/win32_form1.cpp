#include "ui/win32/win32_form1.h"

#include <algorithm>
#include <iterator>

#include "platform/win32/win32_text.h"
#include "ui/form/control_fitting.h"
#include "ui/win32/win32_pictures.h"

namespace korvel {

namespace {

using layout::ControlKind;

// A fixed window: it can be moved and minimised, never resized or maximised.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

constexpr int kMenuId = 100;     // + the menu's place
constexpr int kOptionsId = 150;  // + the item's place in the 选项 menu
constexpr int kToolbarId = 200;  // + the button's index
constexpr int kControlId = 300;  // + the control's place in the layout
// What the frames of a text box and a button add around a line of their font, and the gap
// between a check box's box and its caption, in pixels at 96 dots per inch.
constexpr int kControlFrame = 6;
constexpr int kCheckGap = 4;
// What a status panel's edges and margins take beside its text.
constexpr int kStatusTextMargins = 10;

int indexOf(const layout::ControlLayout& control) {
    return static_cast<int>(&control - std::begin(layout::kControls));
}

int pictureIndex(int image) {
    return static_cast<int>(std::ranges::find(layout::kDrawnImages, image) -
                            layout::kDrawnImages.begin());
}

std::string windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return utf8Of(text);
}

// A wrapped caption breaks at its blanks alone; Wine's static controls would also break it
// between two Chinese characters.
std::string captionOf(const layout::ControlLayout& control) {
    std::string caption = control.caption;
    const std::size_t blank = caption.find(' ');
    const std::size_t next = caption.find_first_not_of(' ', blank);
    if (control.wrapped && next != std::string::npos) {
        caption.replace(blank, next - blank, "\r\n");
    }
    return caption;
}

const wchar_t* windowClassOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
        case ControlKind::ValueLabel:
            return L"STATIC";
        case ControlKind::TextBox:
        case ControlKind::DisplayBox:
            return L"EDIT";
        case ControlKind::ScrollBar:
            return L"SCROLLBAR";
        case ControlKind::ComboBox:
            return L"COMBOBOX";
        case ControlKind::Frame:
        case ControlKind::CheckBox:
        case ControlKind::Button:
            break;
    }
    return L"BUTTON";
}

DWORD styleOf(const layout::ControlLayout& control) {
    switch (control.kind) {
        case ControlKind::Frame:
            return BS_GROUPBOX;
        case ControlKind::Label:
            return SS_LEFT | SS_NOPREFIX;
        case ControlKind::ValueLabel:
            return SS_CENTER | SS_NOPREFIX;
        case ControlKind::TextBox:
            return WS_TABSTOP | ES_AUTOHSCROLL;
        case ControlKind::ComboBox:
            return WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
        case ControlKind::DisplayBox:  // shown, selected and copied, never typed into
            return WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY;
        case ControlKind::CheckBox:
            return WS_TABSTOP | BS_CHECKBOX;
        case ControlKind::ScrollBar:
            return WS_TABSTOP | SBS_HORZ;
        case ControlKind::Button:
            return WS_TABSTOP | BS_PUSHBUTTON;
    }
    return 0;
}

// Selects characters from..to of an entry box; -1 is its end.
void selectText(HWND handle, ControlKind kind, int from, int to) {
    if (kind == ControlKind::ComboBox) {
        SendMessageW(handle, CB_SETEDITSEL, 0, MAKELPARAM(from, to));
    } else {
        SendMessageW(handle, EM_SETSEL, from, to);
    }
}

}  // namespace

int Win32Form1::controlId(std::string_view name) {
    const auto found = std::ranges::find_if(
        layout::kControls, [name](const auto& control) { return name == control.name; });
    return found == std::end(layout::kControls) ? 0 : kControlId + indexOf(*found);
}

Win32Form1::Win32Form1(MainForm& form, FormActions actions)
    : m_form(form),
      m_actions(std::move(actions)),
      m_faceBrush(CreateSolidBrush(colorRef(layout::kFaceGrey))),
      m_displayBrush(CreateSolidBrush(colorRef(layout::kDisplayBack))) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Win32Form1::procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = applicationIcon();
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    windowClass.hbrBackground = m_faceBrush;
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
    CreateWindowExW(0, kClassName, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, nullptr, nullptr, instance, this);
    m_dpi = dpiOf(m_window);
    m_shielded = m_form.platform.elevation.needed();

    createMenus();
    createToolbar();
    createControls();
    createStatusBar();
    layOut();
    followModels();
}

Win32Form1::~Win32Form1() {
    if (m_window != nullptr) {
        DestroyWindow(m_window);
    }
    ImageList_Destroy(m_pictures);
    DeleteObject(m_shieldBitmap);
    DeleteObject(m_faceBrush);
    DeleteObject(m_displayBrush);
}

bool Win32Form1::takeKeyboardMessage(MSG& message) {
    if (m_window == nullptr || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) {
        return false;
    }
    // An open drop-down list takes its own keys: Esc closes it alone.
    const bool listOpen = std::ranges::any_of(m_controls, [](const Control& control) {
        return control.layout->kind == ControlKind::ComboBox &&
               SendMessageW(control.handle, CB_GETDROPPEDSTATE, 0, 0) != FALSE;
    });
    // Alt let go after Alt+Down opened a list: the list took the Down, so the default handling
    // (Wine's) takes it for Alt pressed alone and puts the menu bar in charge of the arrows.
    if (listOpen && (message.message == WM_KEYUP || message.message == WM_SYSKEYUP) &&
        message.wParam == VK_MENU) {
        return true;
    }
    return !listOpen && IsDialogMessageW(m_window, &message);
}

UINT Win32Form1::frontMessage() {
    static const UINT message = RegisterWindowMessageW(L"KORVEL.front");
    return message;
}

void Win32Form1::bringRunningCopyToFront() {
    if (HWND running = FindWindowW(kClassName, nullptr); running != nullptr) {
        // Only a program the user just started may hand the foreground on.
        DWORD process = 0;
        GetWindowThreadProcessId(running, &process);
        AllowSetForegroundWindow(process);
        PostMessageW(running, frontMessage(), 0, 0);
    }
}

LRESULT CALLBACK Win32Form1::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<Win32Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->handleMessage(message, wParam, lParam)
                           : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Win32Form1::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == frontMessage()) {  // a second copy started
        m_actions.openWindow();
        return 0;
    }
    switch (message) {
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_HSCROLL:
            scroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam));
            return 0;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->code == TTN_GETDISPINFOW) {
                return toolTipText(*reinterpret_cast<NMTTDISPINFOW*>(lParam));
            }
            break;
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSCROLLBAR:
            return colorOf(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DPICHANGED:
            m_dpi = HIWORD(wParam);
            layOut();
            return 0;
        case WM_CLOSE:
            // A correction awaiting its answer closes the program itself once answered; a window
            // that goes to the tray is hidden by its model.
            if (m_actions.closeWindow()) {
                DestroyWindow(m_window);
            }
            return 0;
        case WM_HELP:  // F1
            m_actions.toolbarClick(layout::kHelpKeyButton);
            return TRUE;
        case WM_WINDOWPOSCHANGED: {
            // Every move, the program's own and those of the user and the window manager: the
            // window may be dragged without a move loop of its own.
            const auto& place = *reinterpret_cast<const WINDOWPOS*>(lParam);
            if ((place.flags & SWP_NOMOVE) == 0 && !IsIconic(m_window) && m_slide) {
                m_slide->reported({place.x, place.y});
            }
            break;
        }
        case WM_DESTROY:
            // Whatever arrives after this goes to the default handling, and the models are
            // drawn no more.
            m_slide.reset();
            m_connections.clear();
            SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
            m_window = nullptr;
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

void Win32Form1::createMenus() {
    HMENU bar = CreateMenu();
    for (std::size_t i = 0; i < std::size(layout::kMenus); ++i) {
        AppendMenuW(bar, MF_STRING, kMenuId + i, wideOf(layout::kMenus[i].caption).c_str());
        if (m_shielded && std::string_view(layout::kMenus[i].name) == "xiaoshi") {
            m_shieldBitmap = shieldBitmap(GetSystemMetrics(SM_CXSMICON));
            MENUITEMINFOW item{};
            item.cbSize = sizeof item;
            item.fMask = MIIM_BITMAP;
            item.hbmpItem = m_shieldBitmap;
            SetMenuItemInfoW(bar, static_cast<UINT>(kMenuId + i), FALSE, &item);
        }
    }
    HMENU options = CreatePopupMenu();
    for (std::size_t i = 0; i < std::size(layout::kOptionsItems); ++i) {
        AppendMenuW(options, MF_STRING, kOptionsId + i,
                    wideOf(layout::kOptionsItems[i].caption).c_str());
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(options),
                wideOf(layout::kOptionsMenu.caption).c_str());
    SetMenu(m_window, bar);
}

void Win32Form1::createToolbar() {
    m_toolbar = createControl(
        m_window, TOOLBARCLASSNAMEW, "",
        TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, {}, 0);
    SendMessageW(m_toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    std::vector<TBBUTTON> buttons;
    const auto add = [&buttons](const layout::ToolButtonLayout& spec) {
        TBBUTTON& button = buttons.emplace_back();
        button.iBitmap = pictureIndex(spec.image);
        button.idCommand = kToolbarId + spec.index;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON;
    };
    for (const layout::ToolButtonLayout& spec : layout::kToolButtons) {
        add(spec);
    }
    buttons.emplace_back().fsStyle = BTNS_SEP;  // the gap, widened in layOut
    add(layout::kIndicatorButton);
    SendMessageW(m_toolbar, TB_ADDBUTTONSW, buttons.size(),
                 reinterpret_cast<LPARAM>(buttons.data()));
}

void Win32Form1::createControls() {
    for (const layout::ControlLayout& control : layout::kControls) {
        const DWORD extended =
            control.kind == ControlKind::TextBox || control.kind == ControlKind::DisplayBox
                ? WS_EX_CLIENTEDGE
                : 0;
        HWND handle = createControl(m_window, windowClassOf(control.kind), captionOf(control),
                                    styleOf(control), {}, kControlId + indexOf(control), extended);
        m_controls.push_back({&control, handle});
        if (control.kind == ControlKind::ScrollBar) {
            const ScrollBar& model = control.scrollBar(m_form);
            SetScrollRange(handle, SB_CTL, model.minimum(), model.maximum(), FALSE);
        }
        if (control.kind == ControlKind::ComboBox) {
            for (const char* server : control.offers) {
                SendMessageW(handle, CB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(wideOf(server).c_str()));
            }
        }
    }
    // The frames go to the bottom so they paint under what they hold, and the keyboard walks
    // the rest in the designed order.
    for (const Control& control : m_controls) {
        if (control.layout->kind == ControlKind::Frame) {
            SetWindowPos(control.handle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
    }
    HWND previous = HWND_TOP;
    for (const char* name : layout::kKeyboardOrder) {
        const auto found = std::ranges::find_if(m_controls, [name](const Control& control) {
            return std::string_view(control.layout->name) == name;
        });
        SetWindowPos(found->handle, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        previous = found->handle;
    }
    m_toolTips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 m_window, nullptr, GetModuleHandleW(nullptr), nullptr);
    for (const Control& control : m_controls) {
        if (control.layout->kind == ControlKind::DisplayBox) {
            TOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = m_window;
            tool.uId = reinterpret_cast<UINT_PTR>(control.handle);
            tool.lpszText = LPSTR_TEXTCALLBACKW;
            SendMessageW(m_toolTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
}

void Win32Form1::createStatusBar() {
    m_statusBar =
        createControl(m_window, STATUSCLASSNAMEW, "", CCS_NORESIZE | CCS_NOPARENTALIGN, {}, 0);
    // The last panel's whole text, over that panel.
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = m_statusBar;
    tool.uId = layout::kStatusPanels;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(m_toolTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Form1::loadPictures() {
    const int size = MulDiv(layout::kPictureSize, static_cast<int>(m_dpi), USER_DEFAULT_SCREEN_DPI);
    HIMAGELIST pictures = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK,
                                           static_cast<int>(layout::kDrawnImages.size()), 0);
    for (const int image : layout::kDrawnImages) {
        HICON icon = picture(image, size);
        ImageList_AddIcon(pictures, icon);
        DestroyIcon(icon);
    }
    if (m_shielded) {
        HICON icon = shieldedPicture(layout::kToolButtons[1].image, size);
        ImageList_AddIcon(pictures, icon);
        DestroyIcon(icon);
    }
    SendMessageW(m_toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(pictures));
    if (m_shielded) {
        SendMessageW(m_toolbar, TB_CHANGEBITMAP, kToolbarId + layout::kToolButtons[1].index,
                     static_cast<LPARAM>(layout::kDrawnImages.size()));
    }
    ImageList_Destroy(m_pictures);
    DeleteObject(m_shieldBitmap);
    m_pictures = pictures;
}

// Places everything for the window's resolution.
void Win32Form1::layOut() {
    m_fonts.clear();
    SendMessageW(m_window, WM_SETFONT,
                 reinterpret_cast<WPARAM>(m_fonts.font(layout::kWindowFont, m_dpi)), FALSE);
    const int scale = static_cast<int>(m_dpi);
    const int checkSize =
        MulDiv(GetSystemMetrics(SM_CXMENUCHECK), scale, static_cast<int>(screenDpi()));
    for (const Control& control : m_controls) {
        const HFONT font = m_fonts.font(control.layout->font, m_dpi);
        const RECT designed = pixelRect(layout::inClientArea(*control.layout), m_dpi);
        const PixelRect place = fitControl(
            *control.layout,
            {designed.left, designed.top, designed.right - designed.left,
             designed.bottom - designed.top},
            {.lineHeight = textExtent(font, "国").cy,
             .frameHeight = MulDiv(kControlFrame, scale, USER_DEFAULT_SCREEN_DPI),
             .boxSize = checkSize,
             .boxGap = MulDiv(kCheckGap, scale, USER_DEFAULT_SCREEN_DPI),
             .textWidth = [font](const std::string& text) { return textExtent(font, text).cx; }});
        // A drop-down's height includes its open list.
        const int listHeight =
            control.layout->kind == ControlKind::ComboBox
                ? static_cast<int>(control.layout->offers.size() + 1) * place.height
                : 0;
        MoveWindow(control.handle, place.left, place.top, place.width, place.height + listHeight,
                   TRUE);
        SendMessageW(control.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        if (control.layout->kind == ControlKind::ComboBox) {
            // The list opens wide enough for its longest name, wider than the box if need be.
            int widest = 0;
            for (const char* server : control.layout->offers) {
                widest = std::max(widest, static_cast<int>(textExtent(font, server).cx));
            }
            SendMessageW(control.handle, CB_SETDROPPEDWIDTH,
                         widest + MulDiv(kControlFrame, scale, USER_DEFAULT_SCREEN_DPI) +
                             GetSystemMetrics(SM_CXVSCROLL),
                         0);
        }
    }
    loadPictures();
    // The default padding would widen every button past the designed width and push the lamp
    // out of the collapsed window.
    SendMessageW(m_toolbar, TB_SETPADDING, 0,
                 MAKELPARAM(MulDiv(layout::kToolButtonWidth - layout::kPictureSize, scale,
                                   USER_DEFAULT_SCREEN_DPI),
                            MulDiv(layout::kToolButtonHeight - layout::kPictureSize, scale,
                                   USER_DEFAULT_SCREEN_DPI)));
    SendMessageW(m_toolbar, TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(MulDiv(layout::kToolButtonWidth, scale, USER_DEFAULT_SCREEN_DPI),
                            MulDiv(layout::kToolButtonHeight, scale, USER_DEFAULT_SCREEN_DPI)));
    TBBUTTONINFOW gap{};
    gap.cbSize = sizeof gap;
    gap.dwMask = TBIF_SIZE | TBIF_BYINDEX;
    gap.cx = static_cast<WORD>(pixels(layout::kToolbarGapTwips));
    SendMessageW(m_toolbar, TB_SETBUTTONINFOW, std::size(layout::kToolButtons),
                 reinterpret_cast<LPARAM>(&gap));
    const int margin = MulDiv(layout::kToolbarMargin, scale, USER_DEFAULT_SCREEN_DPI);
    SendMessageW(m_toolbar, TB_SETINDENT, margin, 0);
    sizeStatusPanels();
    SendMessageW(m_statusBar, WM_SETFONT,
                 reinterpret_cast<WPARAM>(m_fonts.font(layout::kWindowFont, m_dpi)), TRUE);
    if (m_slide) {
        m_slide->redraw();
    }
}

void Win32Form1::applyGeometry(const WindowSlide::Geometry& geometry, WindowSlide::Place place) {
    const int clientWidth = pixels(geometry.widthTwips - layout::kFrameTwips);
    const int clientHeight = pixels(layout::kClientHeightTwips);
    MoveWindow(m_toolbar, 0, 0, clientWidth, pixels(layout::kToolbarHeightTwips), TRUE);
    MoveWindow(m_statusBar, 0, pixels(layout::kStatusBarTopTwips), clientWidth,
               pixels(layout::kStatusBarHeightTwips), TRUE);
    const RECT outer = outerRect({0, 0, clientWidth, clientHeight}, kStyle, true, m_dpi);
    SetWindowPos(m_window, nullptr, place.x, place.y, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
    drawStatusPanels();  // the last panel widens with the window
    // The bars do not repaint the part they gain.
    InvalidateRect(m_toolbar, nullptr, TRUE);
    InvalidateRect(m_statusBar, nullptr, TRUE);
    // The controls out of view take no Tab stop, and the focus leaves them for the window.
    for (const Control& control : m_controls) {
        if ((styleOf(*control.layout) & WS_TABSTOP) != 0) {
            const bool inView = layout::inView(*control.layout, geometry.widthTwips);
            const LONG_PTR style = GetWindowLongPtrW(control.handle, GWL_STYLE);
            SetWindowLongPtrW(control.handle, GWL_STYLE,
                              inView ? style | WS_TABSTOP : style & ~LONG_PTR{WS_TABSTOP});
            if (!inView && GetFocus() == control.handle) {
                SetFocus(m_window);
            }
        }
    }
}

// Each panel grows to show its text whole, as the longer summaries need; the last reaches to
// the window's edge.
RECT Win32Form1::sizeStatusPanels() {
    const HFONT font = m_fonts.font(layout::kWindowFont, m_dpi);
    const int margins =
        MulDiv(kStatusTextMargins, static_cast<int>(m_dpi), USER_DEFAULT_SCREEN_DPI);
    int edges[layout::kStatusPanels] = {};
    for (std::size_t panel = 0; panel + 1 < layout::kStatusPanels; ++panel) {
        const int text = static_cast<int>(textExtent(font, m_form.StatusBar1.panel(panel)).cx);
        edges[panel] = (panel == 0 ? 0 : edges[panel - 1]) +
                       std::max(pixels(layout::kStatusPanelWidthTwips), text + margins);
    }
    edges[layout::kStatusPanels - 1] = -1;
    SendMessageW(m_statusBar, SB_SETPARTS, layout::kStatusPanels, reinterpret_cast<LPARAM>(edges));
    // Not SB_GETRECT: Wine's bar works its panels' places out again only when it paints.
    RECT last{};
    GetClientRect(m_statusBar, &last);
    last.left = edges[layout::kStatusPanels - 2];
    return last;
}

// The summaries whole; the last panel's text cut with an ellipsis where it does not fit, and
// whole in the panel's tool tip.
void Win32Form1::drawStatusPanels() {
    const RECT last = sizeStatusPanels();
    const HFONT font = m_fonts.font(layout::kWindowFont, m_dpi);
    const int margins =
        MulDiv(kStatusTextMargins, static_cast<int>(m_dpi), USER_DEFAULT_SCREEN_DPI);
    for (std::size_t panel = 0; panel < layout::kStatusPanels; ++panel) {
        const std::string& whole = m_form.StatusBar1.panel(panel);
        std::string shown = whole;
        if (panel + 1 == layout::kStatusPanels) {
            TOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.hwnd = m_statusBar;
            tool.uId = layout::kStatusPanels;
            tool.rect = last;
            shown =
                fittedText(whole, tool.rect.right - tool.rect.left - margins,
                           [font](const std::string& text) { return textExtent(font, text).cx; });
            SendMessageW(m_toolTips, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
            std::wstring tip = wideOf(whole);
            tool.lpszText = tip.data();
            SendMessageW(m_toolTips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        SendMessageW(m_statusBar, SB_SETTEXTW, panel,
                     reinterpret_cast<LPARAM>(wideOf(shown).c_str()));
    }
}

void Win32Form1::followModels() {
    const auto observe = [this](Signal& changed, std::function<void()> draw) {
        draw();
        m_connections.push_back(changed.connect(std::move(draw)));
    };
    for (const Control& control : m_controls) {
        const layout::ControlLayout& spec = *control.layout;
        Signal* changed = spec.textBox != nullptr     ? &spec.textBox(m_form).changed
                          : spec.checkBox != nullptr  ? &spec.checkBox(m_form).changed
                          : spec.scrollBar != nullptr ? &spec.scrollBar(m_form).changed
                          : spec.label != nullptr     ? &spec.label(m_form).changed
                                                      : nullptr;
        if (changed != nullptr) {
            observe(*changed, [this, control] { drawControl(control); });
        }
        if (spec.textBox != nullptr) {
            m_connections.push_back(spec.textBox(m_form).selectionRequested.connect(
                [handle = control.handle, kind = spec.kind] {
                    SetFocus(handle);
                    selectText(handle, kind, 0, -1);
                }));
        }
    }
    observe(m_form.Toolbar1.changed, [this] { drawIndicator(); });
    for (std::size_t i = 0; i < std::size(layout::kOptionsItems); ++i) {
        if (layout::kOptionsItems[i].check != nullptr) {
            CheckBox& model = m_form.*layout::kOptionsItems[i].check;
            observe(model.changed, [this, i, &model] {
                CheckMenuItem(GetMenu(m_window), static_cast<UINT>(kOptionsId + i),
                              MF_BYCOMMAND | (model.isTicked() ? MF_CHECKED : MF_UNCHECKED));
            });
        }
    }
    observe(m_form.StatusBar1.changed, [this] { drawStatusPanels(); });
    observe(m_form.Form1.changed,
            [this] { SetWindowTextW(m_window, wideOf(m_form.Form1.caption()).c_str()); });
    m_connections.push_back(m_form.Form1.shownChanged.connect([this] {
        ShowWindow(m_window, m_form.Form1.isShown() ? SW_SHOWNORMAL : SW_HIDE);
        UpdateWindow(m_window);
    }));
    m_connections.push_back(m_form.Form1.frontRequested.connect([this] {
        ShowWindow(m_window, IsIconic(m_window) ? SW_RESTORE : SW_SHOW);
        SetForegroundWindow(m_window);
    }));
    // Centred on the work area until the user moves it.
    const RECT outer =
        outerRect({0, 0, pixels(layout::kClientWidthTwips), pixels(layout::kClientHeightTwips)},
                  kStyle, true, m_dpi);
    RECT workArea{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    const int top = static_cast<int>(
        workArea.top +
        std::max(0L, (workArea.bottom - workArea.top - (outer.bottom - outer.top)) / 2));
    m_slide.emplace(
        m_form.Form1, m_form.platform.timers, top,
        WindowSlide::View{
            .isShown = [this] { return IsWindowVisible(m_window) != FALSE; },
            .pixels = [this](int twips) { return pixels(twips); },
            .twips = [this](int pixels) { return MulDiv(pixels, 1440, static_cast<int>(m_dpi)); },
            .draw = [this](const WindowSlide::Geometry& geometry,
                           WindowSlide::Place place) { applyGeometry(geometry, place); },
        });
}

void Win32Form1::drawControl(const Control& control) {
    const layout::ControlLayout& spec = *control.layout;
    m_drawing = true;
    switch (spec.kind) {
        case ControlKind::TextBox:
        case ControlKind::ComboBox:
        case ControlKind::DisplayBox: {
            const TextBox& model = spec.textBox(m_form);
            if (windowText(control.handle) != model.text()) {
                SetWindowTextW(control.handle, wideOf(model.text()).c_str());
                // A text wider than the box shows its sign and leading digits.
                selectText(control.handle, spec.kind, 0, 0);
            }
            ShowWindow(control.handle, model.isVisible() ? SW_SHOWNA : SW_HIDE);
            InvalidateRect(control.handle, nullptr, TRUE);
            break;
        }
        case ControlKind::ValueLabel:
            SetWindowTextW(control.handle, wideOf(spec.label(m_form).caption()).c_str());
            break;
        case ControlKind::CheckBox: {
            const CheckBox& model = spec.checkBox(m_form);
            SendMessageW(control.handle, BM_SETCHECK,
                         model.isTicked() ? BST_CHECKED : BST_UNCHECKED, 0);
            EnableWindow(control.handle, model.isEnabled());
            break;
        }
        case ControlKind::ScrollBar: {
            const ScrollBar& model = spec.scrollBar(m_form);
            SetScrollPos(control.handle, SB_CTL, model.value(), TRUE);
            EnableWindow(control.handle, model.isEnabled());
            break;
        }
        case ControlKind::Frame:
        case ControlKind::Label:
        case ControlKind::Button:
            break;
    }
    m_drawing = false;
}

void Win32Form1::drawIndicator() {
    SendMessageW(m_toolbar, TB_CHANGEBITMAP, kToolbarId + layout::kIndicatorButton.index,
                 pictureIndex(m_form.Toolbar1.indicatorImage()));
}

void Win32Form1::command(int id, int notification) {
    if (id == IDCANCEL) {  // Esc
        m_actions.cancelSettings();
    } else if (id >= kControlId &&
               id < kControlId + static_cast<int>(std::size(layout::kControls))) {
        const layout::ControlLayout& spec = layout::kControls[id - kControlId];
        const Control& control = m_controls[static_cast<std::size_t>(id - kControlId)];
        if (spec.kind == ControlKind::Button && notification == BN_CLICKED) {
            (m_actions.*spec.action)();
        } else if (spec.kind == ControlKind::CheckBox && notification == BN_CLICKED) {
            CheckBox& model = spec.checkBox(m_form);
            model.setTicked(!model.isTicked());
        } else if (spec.kind == ControlKind::ComboBox && !m_drawing) {
            comboChange(control, notification);
        } else if (spec.textBox != nullptr && notification == EN_CHANGE && !m_drawing) {
            spec.textBox(m_form).setText(windowText(control.handle));
        }
    } else if (id >= kToolbarId && id < kControlId) {
        m_actions.toolbarClick(id - kToolbarId);
    } else if (id >= kMenuId && id < kMenuId + static_cast<int>(std::size(layout::kMenus))) {
        (m_actions.*layout::kMenus[id - kMenuId].action)();
    } else if (id >= kOptionsId &&
               id < kOptionsId + static_cast<int>(std::size(layout::kOptionsItems))) {
        (m_actions.*layout::kOptionsItems[id - kOptionsId].action)();
    }
}

// Typed text is in the box at once; a chosen item reaches the box only after this notice.
void Win32Form1::comboChange(const Control& control, int notification) {
    TextBox& model = control.layout->textBox(m_form);
    if (notification == CBN_EDITCHANGE) {
        model.setText(windowText(control.handle));
    } else if (notification == CBN_SELCHANGE) {
        const LRESULT item = SendMessageW(control.handle, CB_GETCURSEL, 0, 0);
        if (item != CB_ERR) {
            std::wstring text(
                static_cast<std::size_t>(SendMessageW(control.handle, CB_GETLBTEXTLEN, item, 0)) +
                    1,
                L'\0');
            text.resize(static_cast<std::size_t>(SendMessageW(
                control.handle, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()))));
            model.setText(utf8Of(text));
        }
    }
}

// The bar's arrows, trough and keys (the control turns Page Up into SB_PAGELEFT).
void Win32Form1::scroll(HWND bar, int request) {
    const Control* control = controlOf(bar);
    if (control == nullptr || control->layout->scrollBar == nullptr) {
        return;
    }
    ScrollBar& model = control->layout->scrollBar(m_form);
    using Step = ScrollBar::Step;
    switch (request) {
        case SB_LINELEFT:
            return model.step(Step::SmallLess);
        case SB_LINERIGHT:
            return model.step(Step::SmallMore);
        case SB_PAGELEFT:
            return model.step(Step::LargeLess);
        case SB_PAGERIGHT:
            return model.step(Step::LargeMore);
        case SB_LEFT:
            return model.step(Step::ToMinimum);
        case SB_RIGHT:
            return model.step(Step::ToMaximum);
        case SB_THUMBPOSITION: {  // the thumb let go; dragging alone changes nothing
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_TRACKPOS;
            GetScrollInfo(bar, SB_CTL, &info);
            return model.setValue(info.nTrackPos);
        }
        default:
            break;
    }
}

LRESULT Win32Form1::colorOf(HDC context, HWND handle) {
    const Control* control = controlOf(handle);
    if (control == nullptr) {  // the entry part of a drop-down
        control = controlOf(GetParent(handle));
    }
    if (control != nullptr && control->layout->kind == ControlKind::DisplayBox) {
        SetTextColor(context, colorRef(control->layout->textBox(m_form).foreColor()));
        SetBkColor(context, colorRef(layout::kDisplayBack));
        return reinterpret_cast<LRESULT>(m_displayBrush);
    }
    if (control != nullptr && (control->layout->kind == ControlKind::TextBox ||
                               control->layout->kind == ControlKind::ComboBox)) {
        return DefWindowProcW(m_window, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(context),
                              reinterpret_cast<LPARAM>(handle));
    }
    if (control != nullptr && control->layout->kind == ControlKind::Label) {
        // A caption grown for a taller font paints no background over its neighbours.
        SetBkMode(context, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    SetBkColor(context, colorRef(layout::kFaceGrey));
    return reinterpret_cast<LRESULT>(m_faceBrush);
}

LRESULT Win32Form1::toolTipText(NMTTDISPINFOW& request) {
    m_toolTip.clear();
    if ((request.uFlags & TTF_IDISHWND) != 0) {
        if (const Control* control = controlOf(reinterpret_cast<HWND>(request.hdr.idFrom));
            control != nullptr && control->layout->textBox != nullptr) {
            m_toolTip = wideOf(control->layout->textBox(m_form).toolTip());
        }
    } else {
        for (const layout::ToolButtonLayout& spec : layout::kToolButtons) {
            if (kToolbarId + spec.index == static_cast<int>(request.hdr.idFrom)) {
                m_toolTip = wideOf(spec.toolTip);
            }
        }
    }
    request.lpszText = m_toolTip.data();
    return 0;
}

const Win32Form1::Control* Win32Form1::controlOf(HWND handle) const {
    const auto found = std::ranges::find_if(
        m_controls, [handle](const Control& control) { return control.handle == handle; });
    return found == m_controls.end() ? nullptr : &*found;
}

}  // namespace korvel
