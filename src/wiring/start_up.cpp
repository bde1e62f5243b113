#include "wiring/start_up.h"

#include <string>
#include <utility>
#include <vector>

#include "calibration/clock_display.h"
#include "calibration/measure_command.h"
#include "calibration/time_sync_log.h"
#include "common/utf8_text.h"
#include "exchange/exchange.h"
#include "settings/config_file.h"
#include "settings/settings_panel.h"
#include "ui/form/caption_animation.h"
#include "ui/form/main_form.h"
#include "wiring/command_dispatch.h"

namespace korvel {

namespace {

constexpr int kClockDisplayIntervalMs = 200;
constexpr int kIndicatorResetMs = 2000;
constexpr int kCaptionIntervalMs = 500;
constexpr int kAfterHandlerMs = 1;
// After a wake or a reconnection, the network's time to settle (addresses, routes, names).
constexpr int kResumeWaitMs = 15'000;

void attachHandlers(MainForm& form) {
    attachMeasurement(form);
    attachSettingsPanel(form);
    form.timers.Timer5->setInterval(kClockDisplayIntervalMs);
    form.timers.Timer5->setTickHandler([&form] { clockTick(form); });
    form.timers.burstClockTimer->setInterval(kClockDisplayIntervalMs);
    form.timers.burstClockTimer->setTickHandler([&form] { showLocalClock(form); });
    form.timers.Timer6->setInterval(kIndicatorResetMs);
    form.timers.Timer6->setTickHandler([&form] { indicatorResetTick(form); });
    form.timers.Timer7->setInterval(kCaptionIntervalMs);
    form.timers.Timer7->setTickHandler([&form] { captionTick(form); });
    form.timers.resumeWaitTimer->setInterval(kResumeWaitMs);
    form.timers.resumeWaitTimer->setTickHandler([&form] { resumeWaitTick(form); });
    form.platform.systemEvents.setHandler(
        [&form](SystemEvent event) { systemEventArrived(form, event); });
    form.timers.Timer4->setInterval(kAfterHandlerMs);
    form.timers.Timer4->setTickHandler([&form] {
        form.timers.Timer4->stop();
        // Taken first: a box shown may let another handler add a notice meanwhile.
        const std::vector<std::string> notices = std::exchange(form.afterHandlerNotices, {});
        for (const std::string& notice : notices) {
            form.platform.messageBox.show(notice);
        }
    });
}

}  // namespace

bool startUp(MainForm& form) {
    if (form.platform.instanceGuard.anotherCopyRunning()) {
        form.platform.messageBox.show("此程序已经执行！");
        return false;
    }
    attachHandlers(form);
    SyncSettings& settings = form.settings;
    FileSystem& files = form.platform.files;

    form.StatusBar1.setPanel(0, "自动校时: 关闭 ");
    form.StatusBar1.setPanel(1, "校时数据保存: 关闭 ");
    form.panel.Check3.setEnabled(false);
    form.panel.HScroll1.setValue(1);
    form.panel.HScroll2.setValue(1000);
    settings.autoSyncTenths = 1.0;
    settings.limitMs = 1000.0;
    form.panel.Label4.setCaption("");
    form.panel.Label8.setCaption("");

    // An installed program's folder is not the user's to write: the log goes to theirs.
    std::string logFolder = files.programFolder();
    if (!files.mayCreateIn(logFolder)) {
        if (std::string own = files.userFolder(UserFolder::Data, true); !own.empty()) {
            logFolder = std::move(own);
        }
    }
    form.panel.Text4.setText(defaultLogPath(logFolder, form.platform.localClock.getLocalTime()));
    settings.cfgPath = configPathToRead(files);
    reopenScratchFile(form);
    settings.logPath = form.panel.Text4.text();

    const LoadedConfig config = loadConfig(files, settings.cfgPath);
    if (config.error != FileError::None) {
        form.platform.messageBox.show(std::string(kConfigFileName) + " 无法建立，使用默认服务器");
    }
    settings.cfgLine = config.cfgLine;
    // The box shows the address alone; the socket ignores the filling blanks.
    form.panel.Text9.setText(trimBlanks(config.fields.addressField));
    form.panel.Text10.setText(config.fields.portField);
    showExtraServers(form.panel, config.fields.extraServers);
    settings.localPort = config.fields.localPort;
    if (!config.fields.skippedServers.empty()) {
        std::string skipped;
        for (const std::string& word : config.fields.skippedServers) {
            skipped += " " + word;
        }
        form.platform.messageBox.show(std::string(kConfigFileName) +
                                      " 中的服务器无法使用，已跳过:" + skipped);
    }
    std::vector<std::string> servers{config.fields.addressField};
    servers.insert(servers.end(), config.fields.extraServers.begin(),
                   config.fields.extraServers.end());
    if (!prepareSocket(form, servers, settings.localPort)) {
        form.platform.messageBox.show(portUnusableText(settings.localPort));
        // Without a port the servers are still the ones configured.
        form.servers = std::move(servers);
    }

    form.timers.Timer3->stop();
    form.timers.Timer6->stop();
    form.timers.Timer5->start();
    form.timers.Timer7->start();
    form.Command6.setEnabled(false);
    const int screen = form.Form1.screenWidthTwips();
    form.Form1.setGeometry((screen - kCollapsedWidthTwips) / 2, kCollapsedWidthTwips);
    return true;
}

}  // namespace korvel
