#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "ui/form/about_box.h"
#include "ui/form/controls.h"
#include "ui/form/form_actions.h"
#include "ui/form/main_form.h"

// The windows as designed: where each control sits (in twips), what it says, its font and
// colours, the menus, the toolbar and its pictures. Every view builds from these tables and
// adds only how to draw.
namespace korvel::layout {

struct FontSpec {
    const char* family;
    double pointSize;
    bool bold = false;
};

inline constexpr const char* kSongTi = "宋体";
inline constexpr const char* kMicrosoftSansSerif = "Microsoft Sans Serif";
inline constexpr const char* kKaiTi = "楷体_GB2312";

inline constexpr FontSpec kWindowFont{kSongTi, 9.0};
inline constexpr FontSpec kValueFont{kSongTi, 9.0, true};
inline constexpr FontSpec kFrameCaptionFont{kSongTi, 11.4};
inline constexpr FontSpec kClockFont{kMicrosoftSansSerif, 20.4};

inline constexpr Rgb kFaceGrey{192, 192, 192};
inline constexpr Rgb kDisplayBack{0, 0, 0};

// The two frames, and with them the window, are taller than designed: below the address row,
// which the stand-in faces make taller than its room under the panel's caption, and by the
// rows of the servers after the first, which sit below the panel's buttons.
inline constexpr int kAddressRowExtraTwips = 120;
inline constexpr int kExtraServerRowsTwips = 1260;
inline constexpr int kExtraHeightTwips = kAddressRowExtraTwips + kExtraServerRowsTwips;

// The main window's client area; the model's width is the outer width, wider by the frame.
inline constexpr int kClientWidthTwips = 5988;
inline constexpr int kClientHeightTwips = 4524 + kExtraHeightTwips;
inline constexpr int kFrameTwips = kCollapsedWidthTwips - kClientWidthTwips;

// The toolbar along the top: seven command buttons, a gap, then the indicator lamp.
inline constexpr int kToolbarHeightTwips = 636;
inline constexpr int kToolbarGapTwips = 2000;
inline constexpr int kPictureSize = 32;  // pixels at 96 dots per inch, as are the three below
// Narrow enough that all the buttons and the gap fit the collapsed window.
inline constexpr int kToolButtonWidth = 33;
inline constexpr int kToolButtonHeight = 38;
inline constexpr int kToolbarMargin = 2;

struct ToolButtonLayout {
    int index;  // what the dispatcher is handed
    int image;  // the picture's number in the image list
    const char* toolTip;
};

inline constexpr ToolButtonLayout kToolButtons[] = {
    {1, 13, "测量时间服务器与本机时差"},
    {2, 2, "校准本机时间"},
    {3, 14, "参数设置"},
    {4, 12, "主页 "},
    {5, 11, "关于"},
    {6, 16, "帮助"},
    {7, 17, "退出"},
};
inline constexpr ToolButtonLayout kIndicatorButton{9, Toolbar::kRestImage, ""};
// F1 runs the help button.
inline constexpr int kHelpKeyButton = 6;

// The pictures of the image list the window shows (resources/icons/imageN.svg); the other
// numbers of the list are never used.
inline constexpr std::array kDrawnImages{2, 5, 6, 8, 11, 12, 13, 14, 16, 17};

struct MenuLayout {
    const char* name;
    const char* caption;
    std::function<void()> FormActions::*action;
};

inline constexpr MenuLayout kMenus[] = {
    {"cheshi", "测时(&C)", &FormActions::cheshiClick},
    {"xiaoshi", "校准(&A)", &FormActions::xiaoshiClick},
    {"shezhi", "设置(&S)", &FormActions::shezhiClick},
    {"guanyu", "关于(&W)       ", &FormActions::guanyuClick},
};

// The fifth menu, a drop-down after the four commands.
inline constexpr MenuLayout kOptionsMenu{"xuanxiang", "选项(&O)", nullptr};

struct OptionsItemLayout {
    const char* name;
    const char* caption;
    CheckBox MainForm::*check;  // nullptr: a plain command
    std::function<void()> FormActions::*action;
};

inline constexpr OptionsItemLayout kOptionsItems[] = {
    {"startWithSession", "登录时启动(&L)", &MainForm::startWithSession,
     &FormActions::toggleStartWithSession},
    {"closeToTray", "关闭时留在托盘(&T)", &MainForm::closeToTray, &FormActions::toggleCloseToTray},
    {"burstDetails", "测时详情(&D)...", nullptr, &FormActions::showBurstDetails},
};

// The tray icon's menu: each item runs a toolbar button's command behind the toolbar's gate,
// or brings the window to the front.
struct TrayItem {
    const char* name;
    const char* caption;
    int toolbarButton;       // 0: the window to the front
    Button MainForm::*gate;  // nullptr: always enabled
};

inline constexpr TrayItem kTrayItems[] = {
    {"open", "打开", 0, nullptr},
    {"measure", "测时", 1, &MainForm::Command5},
    {"calibrate", "校准", 2, &MainForm::Command6},
    {"exit", "退出", 7, nullptr},
};
// The picture drawn over the program's icon in each TrayState, in its order; 0 for none.
inline constexpr int kTrayBadges[] = {0, 13, Toolbar::kAcceptedImage, Toolbar::kRefusedImage};

inline constexpr int kStatusBarTopTwips = 4212 + kExtraHeightTwips;
inline constexpr int kStatusBarHeightTwips = 312;
inline constexpr int kStatusPanelWidthTwips = 1440;
inline constexpr std::size_t kStatusPanels = 3;

enum class ControlKind {
    Frame,
    Label,       // a fixed caption
    ValueLabel,  // shows a Label model, centred
    TextBox,     // an entry box on a TextBox model
    ComboBox,    // an entry box on a TextBox model that also offers a list of servers
    DisplayBox,  // a black box whose text takes the model's colour
    CheckBox,
    ScrollBar,
    Button,
};

enum class Container { Client, Frame1, Frame3 };

inline constexpr TwipsRect kFrame1Rect{210, 1020, 5565, 3075 + kExtraHeightTwips};
inline constexpr TwipsRect kFrame3Rect{6120, 1020, 3225, 3075 + kExtraHeightTwips};

// What the server address box offers; any other address may still be typed.
inline constexpr const char* kOfferedServers[] = {"ntp.aliyun.com", "ntp.tencent.com",
                                                  "ntp.ntsc.ac.cn", "cn.pool.ntp.org"};
// What the further servers' boxes offer: public servers that prove their answers.
inline constexpr const char* kOfferedNtsServers[] = {"nts:time.cloudflare.com",
                                                     "nts:nts.netnod.se"};

// Where a control's model is: in the form itself or in its settings panel.
template <typename Control>
using ModelOf = Control& (*)(MainForm&);

template <auto member>
auto& ofForm(MainForm& form) {
    return form.*member;
}

template <auto member>
auto& ofPanel(MainForm& form) {
    return form.panel.*member;
}

// One control; rect is relative to its container. Only the model field its kind draws is set.
struct ControlLayout {
    const char* name;
    ControlKind kind;
    Container container;
    TwipsRect rect;
    const char* caption = "";
    FontSpec font = kWindowFont;
    bool wrapped = false;                      // the caption breaks onto a second line
    std::span<const char* const> offers = {};  // for a drop-down: the names its list offers
    Container holds = Container::Client;       // for a frame: the container it is
    ModelOf<TextBox> textBox = nullptr;
    ModelOf<CheckBox> checkBox = nullptr;
    ModelOf<ScrollBar> scrollBar = nullptr;
    ModelOf<Label> label = nullptr;
    std::function<void()> FormActions::*action = nullptr;
};

// In creation order: a frame comes before what it holds.
// clang-format off
inline constexpr ControlLayout kControls[] = {
    {.name = "Frame1", .kind = ControlKind::Frame, .container = Container::Client,
     .rect = kFrame1Rect, .caption = " 时  间 ", .font = kFrameCaptionFont,
     .holds = Container::Frame1},
    {.name = "Label1", .kind = ControlKind::Label, .container = Container::Frame1,
     .rect = {120, 690, 975, 255}, .caption = "服务器时间"},
    {.name = "Text1", .kind = ControlKind::DisplayBox, .container = Container::Frame1,
     .rect = {1170, 540, 4185, 495}, .font = kClockFont, .textBox = &ofForm<&MainForm::Text1>},
    {.name = "Label2", .kind = ControlKind::Label, .container = Container::Frame1,
     .rect = {120, 1470, 795, 255}, .caption = "本机时间"},
    {.name = "Text2", .kind = ControlKind::DisplayBox, .container = Container::Frame1,
     .rect = {1170, 1320, 4185, 525}, .font = kClockFont, .textBox = &ofForm<&MainForm::Text2>},
    {.name = "Label3", .kind = ControlKind::Label, .container = Container::Frame1,
     .rect = {120, 2160, 1035, 465}, .caption = "服务器-本机    时差", .wrapped = true},
    {.name = "Text3", .kind = ControlKind::DisplayBox, .container = Container::Frame1,
     .rect = {1170, 2100, 4185, 495}, .font = kClockFont, .textBox = &ofForm<&MainForm::Text3>},

    {.name = "Frame3", .kind = ControlKind::Frame, .container = Container::Client,
     .rect = kFrame3Rect, .caption = "设 置", .font = kFrameCaptionFont, .holds = Container::Frame3},
    {.name = "Label6", .kind = ControlKind::Label, .container = Container::Frame3,
     .rect = {240, 288 + kAddressRowExtraTwips / 2, 876, 204}, .caption = "服务器IP"},
    {.name = "Text9", .kind = ControlKind::ComboBox, .container = Container::Frame3,
     .rect = {240, 528 + kAddressRowExtraTwips, 1860, 216}, .offers = kOfferedServers,
     .textBox = &ofPanel<&SettingsPanel::Text9>},
    {.name = "Label11", .kind = ControlKind::Label, .container = Container::Frame3,
     .rect = {2160, 288 + kAddressRowExtraTwips / 2, 732, 156}, .caption = "本机端口"},
    {.name = "Text10", .kind = ControlKind::TextBox, .container = Container::Frame3,
     .rect = {2280, 528 + kAddressRowExtraTwips, 560, 228},
     .textBox = &ofPanel<&SettingsPanel::Text10>},
    {.name = "Check1", .kind = ControlKind::CheckBox, .container = Container::Frame3,
     .rect = {240, 840 + kAddressRowExtraTwips, 996, 250},
     .caption = "定时校时", .checkBox = &ofPanel<&SettingsPanel::Check1>},
    {.name = "Label7", .kind = ControlKind::Label, .container = Container::Frame3,
     .rect = {1296, 876 + kAddressRowExtraTwips, 252, 180}, .caption = "每"},
    // The two value displays are designed as empty captions that grow with their text; each
    // shows its value centred in the gap between its neighbours.
    {.name = "Label8", .kind = ControlKind::ValueLabel, .container = Container::Frame3,
     .rect = {1548, 860 + kAddressRowExtraTwips, 372, 180},
     .font = kValueFont, .label = &ofPanel<&SettingsPanel::Label8>},
    {.name = "Label9", .kind = ControlKind::Label, .container = Container::Frame3,
     .rect = {1920, 870 + kAddressRowExtraTwips, 1080, 180}, .caption = "小时校时一次"},
    {.name = "HScroll1", .kind = ControlKind::ScrollBar, .container = Container::Frame3,
     .rect = {240, 1152 + kAddressRowExtraTwips, 2745, 195},
     .scrollBar = &ofPanel<&SettingsPanel::HScroll1>},
    // Designed too narrow for its caption: the box alone shows.
    {.name = "Check3", .kind = ControlKind::CheckBox, .container = Container::Frame3,
     .rect = {240, 1440 + kAddressRowExtraTwips, 130, 225},
     .caption = "时差限制", .checkBox = &ofPanel<&SettingsPanel::Check3>},
    {.name = "Label5", .kind = ControlKind::Label, .container = Container::Frame3,
     .rect = {480, 1490 + kAddressRowExtraTwips, 730, 170}, .caption = "时差大于"},
    {.name = "Label4", .kind = ControlKind::ValueLabel, .container = Container::Frame3,
     .rect = {1210, 1488 + kAddressRowExtraTwips, 518, 180},
     .font = kValueFont, .label = &ofPanel<&SettingsPanel::Label4>},
    {.name = "Label10", .kind = ControlKind::Label, .container = Container::Frame3,
     .rect = {1728, 1488 + kAddressRowExtraTwips, 1068, 192}, .caption = "(ms)不校准"},
    {.name = "HScroll2", .kind = ControlKind::ScrollBar, .container = Container::Frame3,
     .rect = {240, 1760 + kAddressRowExtraTwips, 2745, 195},
     .scrollBar = &ofPanel<&SettingsPanel::HScroll2>},
    {.name = "Check2", .kind = ControlKind::CheckBox, .container = Container::Frame3,
     .rect = {240, 2016 + kAddressRowExtraTwips, 1695, 285},
     .caption = "校时数据保存", .checkBox = &ofPanel<&SettingsPanel::Check2>},
    {.name = "Text4", .kind = ControlKind::TextBox, .container = Container::Frame3,
     .rect = {240, 2340 + kAddressRowExtraTwips, 2715, 285},
     .textBox = &ofPanel<&SettingsPanel::Text4>},
    {.name = "Command1", .kind = ControlKind::Button, .container = Container::Frame3,
     .rect = {390, 2736 + kAddressRowExtraTwips, 945, 255},
     .caption = "确  定", .action = &FormActions::applySettings},
    {.name = "Command7", .kind = ControlKind::Button, .container = Container::Frame3,
     .rect = {1890, 2736 + kAddressRowExtraTwips, 945, 255},
     .caption = "取  消", .action = &FormActions::cancelSettings},
    {.name = "Label12", .kind = ControlKind::Label, .container = Container::Frame3,
     .rect = {240, 3180 + kAddressRowExtraTwips, 1110, 225}, .caption = "备用服务器 1"},
    {.name = "Text11", .kind = ControlKind::ComboBox, .container = Container::Frame3,
     .rect = {1380, 3120 + kAddressRowExtraTwips, 1605, 345},
     .offers = kOfferedNtsServers, .textBox = &ofPanel<&SettingsPanel::Text11>},
    {.name = "Label13", .kind = ControlKind::Label, .container = Container::Frame3,
     .rect = {240, 3555 + kAddressRowExtraTwips, 1110, 225}, .caption = "备用服务器 2"},
    {.name = "Text12", .kind = ControlKind::ComboBox, .container = Container::Frame3,
     .rect = {1380, 3495 + kAddressRowExtraTwips, 1605, 345},
     .offers = kOfferedNtsServers, .textBox = &ofPanel<&SettingsPanel::Text12>},
    {.name = "Label14", .kind = ControlKind::Label, .container = Container::Frame3,
     .rect = {240, 3930 + kAddressRowExtraTwips, 1110, 225}, .caption = "备用服务器 3"},
    {.name = "Text13", .kind = ControlKind::ComboBox, .container = Container::Frame3,
     .rect = {1380, 3870 + kAddressRowExtraTwips, 1605, 345},
     .offers = kOfferedNtsServers, .textBox = &ofPanel<&SettingsPanel::Text13>},
    // Below the window's client area, never seen: it takes the keyboard focus first and ends
    // the program at once when pressed, a way out with the keyboard alone.
    {.name = "Command4", .kind = ControlKind::Button, .container = Container::Client,
     .rect = {2160, 5820 + kExtraHeightTwips, 735, 315}, .caption = "退 出",
     .action = &FormActions::exitNow},
};
// clang-format on

// The controls that take the keyboard focus, in their designed order: the hidden exit button
// first.
inline constexpr const char* kKeyboardOrder[] = {
    "Command4", "Check1",   "Check2",   "Text4", "HScroll1", "Check3", "HScroll2", "Text3", "Text2",
    "Text1",    "Command1", "Command7", "Text9", "Text10",   "Text11", "Text12",   "Text13"};

// The control's rectangle in the client area.
constexpr TwipsRect inClientArea(const ControlLayout& control) {
    TwipsRect rect = control.rect;
    if (control.container != Container::Client) {
        const TwipsRect& frame = control.container == Container::Frame1 ? kFrame1Rect : kFrame3Rect;
        rect.left += frame.left;
        rect.top += frame.top;
    }
    return rect;
}

// Whether the control shows in a window of that width. One out of view (the settings panel's
// while the window is narrow) takes no Tab stop and keeps no focus.
constexpr bool inView(const ControlLayout& control, int windowWidthTwips) {
    return inClientArea(control).left < windowWidthTwips - kFrameTwips;
}

inline const ControlLayout& controlNamed(std::string_view name) {
    return *std::ranges::find_if(
        kControls, [name](const ControlLayout& control) { return control.name == name; });
}

// The About box frmAbout.
namespace about {

inline constexpr int kWidthTwips = 6984;
inline constexpr int kHeightTwips = 3516;

struct LabelLayout {
    const char* caption;
    TwipsRect rect;
    std::optional<FontSpec> font;  // the window's own where unset
    std::optional<Rgb> color;
};

inline constexpr LabelLayout kLabels[] = {
    {korvel::about::lblTitle, {1728, 456, 3432, 360}, FontSpec{kKaiTi, 14.4, true}, Rgb{0, 0, 128}},
    {korvel::about::lblVersion, {2712, 1056, 1152, 228}, {}, {}},
    {korvel::about::Label1, {2208, 1536, 2076, 276}, {}, {}},
    {korvel::about::lblDescription,
     {936, 2136, 5112, 396},
     FontSpec{kSongTi, 11.4, true},
     Rgb{0, 0, 0}},
};
inline constexpr TwipsRect kCmdOK{984, 2928, 1500, 345};
inline constexpr TwipsRect kCmdSysInfo{3912, 2904, 1485, 345};

}  // namespace about

// The help viewer frmBrowser's toolbar; its geometry is BrowserForm's.
namespace help {

inline constexpr int kPictureSize = 24;
inline constexpr const char* kAddressCaption = "地址(&A):";

struct ButtonLayout {
    const char* key;  // what BrowserForm is handed
    const char* toolTip;
};

inline constexpr ButtonLayout kButtons[] = {
    {"Back", "向后"},
    {"Forward", "向前"},
    {"Stop", "停止"},
    {"Refresh", "刷新"},
};

}  // namespace help

}  // namespace korvel::layout
