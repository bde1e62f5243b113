#include "settings/settings_panel.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "calibration/measure_command.h"
#include "common/day_date.h"
#include "common/text_forms.h"
#include "common/utf8_text.h"
#include "exchange/exchange.h"
#include "exchange/scratch_file.h"
#include "settings/config_file.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr const char* kAddressTemplate = "   .   .   .   ";
constexpr const char* kPortTemplate = "0000";

std::string intervalText(const SettingsPanel& panel) {
    return tenthsAsHours(panel.HScroll1.value());
}
std::string limitText(const SettingsPanel& panel) {
    return std::to_string(panel.HScroll2.value());
}

// A host name may hold 253 characters; a message box shows the start of one that long.
constexpr std::size_t kShownNameCharacters = 40;

std::array<TextBox*, kMostExtraServers> extraServerBoxes(SettingsPanel& panel) {
    return {&panel.Text11, &panel.Text12, &panel.Text13};
}

// The servers after the first, as the configuration reader takes them: empty boxes are passed
// over; a box that names no server, or one named before, is told and selected, and nothing is
// returned.
std::optional<std::vector<std::string>> typedExtraServers(MainForm& form,
                                                          const std::string& first) {
    std::vector<std::string> named{first};
    const auto boxes = extraServerBoxes(form.panel);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const std::string typed = trimBlanks(boxes[i]->text());
        if (typed.empty()) {
            continue;
        }
        const bool repeated = std::ranges::any_of(
            named, [&typed](const std::string& before) { return sameServerName(before, typed); });
        if (!parseServerEntry(typed).entry || repeated) {
            form.platform.messageBox.show("备用服务器 " + std::to_string(i + 1) +
                                          (repeated ? " 与前面的服务器重复: " : " 地址错误: ") +
                                          shortened(typed, kShownNameCharacters));
            boxes[i]->selectAll();
            return std::nullopt;
        }
        named.push_back(typed);
    }
    return std::vector<std::string>(named.begin() + 1, named.end());
}

// A whole number from 1 to 65535, in decimal digits alone.
bool isPortNumber(const std::string& text) {
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || (value = value * 10 + (c - '0')) > 65535) {
            return false;
        }
    }
    return value > 0;
}

int nearestInteger(double value) {
    return static_cast<int>(roundHalfEven(value));
}

// Moves the left edge in 100-twip steps until it reaches or passes the target.
void slideLeftEdgeTo(WindowModel& window, double target) {
    int left = window.leftTwips();
    if (target > left) {
        while (target > left) {
            left += kSlideStepTwips;
            window.setGeometry(left, window.widthTwips());
        }
    } else {
        while (target < left) {
            left -= kSlideStepTwips;
            window.setGeometry(left, window.widthTwips());
        }
    }
}

void slidePanel(WindowModel& window) {
    const double screen = window.screenWidthTwips();
    if (window.widthTwips() >= kExpandedWidthTwips) {
        while (window.widthTwips() > kCollapsedWidthTwips) {
            window.setGeometry(window.leftTwips(), window.widthTwips() - kSlideStepTwips);
        }
        slideLeftEdgeTo(window, (screen - kCollapsedWidthTwips) / 2);
    } else {
        slideLeftEdgeTo(window, (screen - kExpandedWidthTwips) / 2);
        while (window.widthTwips() < kExpandedWidthTwips) {
            window.setGeometry(window.leftTwips(), window.widthTwips() + kSlideStepTwips);
        }
    }
}

void check1Click(MainForm& form) {
    if (form.panel.Check1.isTicked()) {
        form.panel.HScroll1.setEnabled(true);
        form.panel.Label8.setCaption(intervalText(form.panel));
        form.panel.Check3.setEnabled(true);
        form.panel.HScroll2.setEnabled(form.panel.Check3.isTicked());
        if (form.panel.Check3.isTicked()) {
            form.panel.Label4.setCaption(" " + limitText(form.panel));
        }
    } else {
        form.panel.HScroll1.setEnabled(false);
        form.panel.Check3.setEnabled(false);
        form.panel.HScroll2.setEnabled(false);
        form.panel.Label8.setCaption("");
        form.panel.Label4.setCaption("");
    }
}

void check3Click(MainForm& form) {
    const bool ticked = form.panel.Check3.isTicked();
    form.panel.HScroll2.setEnabled(ticked);
    form.panel.Label4.setCaption(ticked ? " " + limitText(form.panel) : "");
}

}  // namespace

bool applyLog(MainForm& form) {
    SyncSettings& settings = form.settings;
    if (!form.panel.Check2.isTicked()) {
        settings.logOn = false;
        return true;
    }
    switch (form.timeSyncLog.open(form.platform.files, form.panel.Text4.text())) {
        case FileError::None:
            settings.logOn = true;
            settings.logPath = form.panel.Text4.text();
            return true;
        case FileError::PermissionDenied:
        case FileError::PathAccess:
        case FileError::DiskNotReady:
        case FileError::DeviceUnavailable:
        case FileError::PathNotFound:
            form.platform.messageBox.show("校时数据保存路径错误");
            return false;
        default:
            return true;
    }
}

void applySchedule(MainForm& form) {
    SyncSettings& settings = form.settings;
    if (form.panel.Check1.isTicked()) {
        settings.autoSyncOn = true;
        settings.autoSyncTenths = form.panel.HScroll1.value();
        settings.scheduleStart = secondsSinceMidnight(form.platform.localClock.getLocalTime());
        if (form.panel.Check3.isTicked()) {
            settings.limitOn = true;
            settings.limitMs = form.panel.HScroll2.value();
        } else {
            settings.limitOn = false;
            form.panel.HScroll2.setEnabled(false);
        }
    } else {
        settings.autoSyncOn = false;
        form.panel.HScroll1.setEnabled(false);
        form.panel.HScroll2.setEnabled(false);
        form.panel.Check3.setEnabled(false);
    }
}

void reopenScratchFile(MainForm& form) {
    form.scratchFile.close();
    if (const std::string problem =
            openScratchFile(form.scratchFile, form.platform.files, kScratchFileName);
        !problem.empty()) {
        form.platform.messageBox.show(problem);
    }
}

void attachSettingsPanel(MainForm& form) {
    form.panel.Check1.onClick = [&form] { check1Click(form); };
    form.panel.Check3.onClick = [&form] { check3Click(form); };
    form.panel.Check2.onClick = [&form] {
        form.panel.Text4.setVisible(form.panel.Check2.isTicked());
    };
    form.panel.HScroll1.onChange = [&form] {
        form.panel.Label8.setCaption(intervalText(form.panel));
    };
    form.panel.HScroll2.onChange = [&form] {
        form.panel.Label4.setCaption(" " + limitText(form.panel));
    };
}

void showExtraServers(SettingsPanel& panel, const std::vector<std::string>& extraServers) {
    const auto boxes = extraServerBoxes(panel);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        boxes[i]->setText(i < extraServers.size() ? extraServers[i] : "");
    }
}

void showSettingsInEffect(MainForm& form) {
    const SyncSettings& settings = form.settings;
    if (settings.autoSyncOn) {
        form.panel.Check1.setTicked(true);
        form.StatusBar1.setPanel(
            0, "自动校时: 每" + intervalText(form.panel) + "小时   时差限制: 无  ");
        if (settings.limitOn) {
            form.panel.Check3.setTicked(true);
            form.StatusBar1.setPanel(0, "自动校时: 每" + intervalText(form.panel) +
                                            "小时   时差限制: " + limitText(form.panel) +
                                            " 毫秒  ");
        } else {
            form.panel.Check3.setTicked(false);
        }
    } else {
        form.panel.Check1.setTicked(false);
        form.StatusBar1.setPanel(0, "自动校时: 关闭  ");
    }
    form.panel.Check2.setTicked(settings.logOn);
    form.StatusBar1.setPanel(1, settings.logOn ? "校时数据保存: 开启 " : "校时数据保存: 关闭 ");
    form.panel.HScroll1.setValue(nearestInteger(settings.autoSyncTenths));
    form.panel.HScroll2.setValue(nearestInteger(settings.limitMs));
}

void toggleSettingsPanel(MainForm& form) {
    showSettingsInEffect(form);
    slidePanel(form.Form1);
}

void applySettings(MainForm& form) {
    if (!form.Command5.isEnabled()) {
        form.Toolbar1.setIndicatorImage(Toolbar::kRefusedImage);
        form.timers.Timer6->start();
        return;
    }
    reopenScratchFile(form);
    form.Toolbar1.setIndicatorImage(Toolbar::kAcceptedImage);

    // The box shows the address alone; the blanks that fill its field go to sntp.cfg only.
    const std::string typed = trimBlanks(form.panel.Text9.text());
    const std::string address = padRight(typed, kAddressFieldWidth);
    if (characterCount(address) > kAddressFieldWidth) {
        form.panel.Text9.setText(kAddressTemplate);
        form.platform.beeper.beep();
        return;
    }
    if (!isServerAddress(typed)) {
        form.platform.messageBox.show("服务器地址错误");
        form.panel.Text9.selectAll();
        return;
    }
    const std::string port = padRight(form.panel.Text10.text(), kPortFieldWidth);
    if (characterCount(port) > kPortFieldWidth) {
        form.panel.Text10.setText(kPortTemplate);
        form.platform.beeper.beep();
        return;
    }
    const auto extraServers = typedExtraServers(form, typed);
    if (!extraServers) {
        return;
    }
    form.panel.Text9.setText(typed);
    form.panel.Text10.setText(port);
    showExtraServers(form.panel, *extraServers);
    // A port that is no number, or cannot be bound, leaves the socket, its port and sntp.cfg
    // as they were.
    const std::string typedPort = trimBlanks(port);
    if (!isPortNumber(typedPort)) {
        form.platform.messageBox.show("本机端口 " + typedPort + " 无法使用");
        form.panel.Text10.selectAll();
        return;
    }
    SyncSettings& settings = form.settings;
    const std::int32_t localPort = portNumber(port);
    std::vector<std::string> servers{address};
    servers.insert(servers.end(), extraServers->begin(), extraServers->end());
    if (!prepareSocket(form, std::move(servers), localPort)) {
        form.platform.messageBox.show(portUnusableText(localPort));
        form.panel.Text10.selectAll();
        return;
    }
    settings.localPort = localPort;
    const SavedConfig saved = saveConfig(form.platform.files, address, port, *extraServers);
    settings.cfgPath = saved.path;
    if (saved.error != FileError::None) {
        // The new settings still hold for this run.
        form.platform.messageBox.show(std::string(kConfigFileName) + " 无法保存");
    }
    if (!applyLog(form)) {
        return;
    }
    applySchedule(form);
    toggleSettingsPanel(form);
}

void cancelSettings(MainForm& form) {
    const SyncSettings& settings = form.settings;
    form.panel.Check1.setTicked(settings.autoSyncOn);
    form.panel.Check3.setTicked(settings.limitOn);
    form.panel.Check2.setTicked(settings.logOn);
    form.panel.HScroll1.setValue(nearestInteger(settings.autoSyncTenths));
    form.panel.HScroll2.setValue(nearestInteger(settings.limitMs));
    form.panel.Text4.setText(settings.logPath);
    form.panel.Text9.setText(trimBlanks(characters(settings.cfgLine, 5, kAddressFieldWidth)));
    showExtraServers(form.panel, parseConfigLine(settings.cfgLine).extraServers);
    form.panel.Text10.setText(std::to_string(form.platform.socket.localPort()));
}

}  // namespace korvel
