#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/sync_settings.h"
#include "exchange/burst_engine.h"
#include "platform/platform.h"
#include "platform/program_files.h"
#include "sntp/burst_evaluation.h"
#include "sntp/outcome.h"
#include "sntp/reply_record.h"
#include "ui/form/controls.h"
#include "ui/form/tray_model.h"

namespace korvel {

// Window geometry of the settings panel, in twips.
inline constexpr int kCollapsedWidthTwips = 6100;
inline constexpr int kExpandedWidthTwips = 9600;
inline constexpr int kSlideStepTwips = 100;

inline constexpr const char* kWindowTitle = "KORVEL　Ver1.0";

// The settings panel's controls (Frame3), which the panel's code reads and fills.
struct SettingsPanel {
    TextBox Text4{"Text4", false};  // log path
    TextBox Text9{"Text9"};         // server address
    TextBox Text10{"Text10"};       // local port
    CheckBox Check1;                // scheduled calibration
    CheckBox Check2;                // keep the time-sync log
    CheckBox Check3;                // offset limit
    // The servers after the first (备用服务器 1 to 3).
    TextBox Text11;
    TextBox Text12;
    TextBox Text13;
    ScrollBar HScroll1{kAutoSyncTenthsMin, kAutoSyncTenthsMax, 1, 3};
    ScrollBar HScroll2{kLimitMsMin, kLimitMsMax, 1, 10};
    Label Label4;     // limit display
    Label Label8;     // interval display
    Button Command1;  // apply settings
    Button Command7;  // cancel settings
};

// The window's timers.
struct FormTimers {
    explicit FormTimers(TimerService& factory);

    std::unique_ptr<Timer> Timer3;               // offset validity
    std::unique_ptr<Timer> Timer5;               // clock display and scheduler
    std::unique_ptr<Timer> Timer6;               // indicator reset
    std::unique_ptr<Timer> Timer7;               // caption animation
    std::unique_ptr<Timer> Timer4;               // notices shown after the handler that raised them
    std::unique_ptr<Timer> correctionWaitTimer;  // how long the window waits for the clock
    std::unique_ptr<Timer> burstClockTimer;      // the local clock while a burst pauses Timer5
    std::unique_ptr<Timer> resumeWaitTimer;      // the network's time to come back after a wake
};

// A clock step the window asked for.
struct CorrectionState {
    bool correcting = false;          // a clock step awaits its answer
    bool closeWhenCorrected = false;  // closing was asked for meanwhile
    // The window stopped waiting, but the step asked of the system may still land: no other
    // correction may be asked until it answers.
    bool stepPending = false;
    std::string decisionLine;  // automatic decision logged when the clock answers
};

// The main window's state for the whole run: its controls as plain models, the settings, the
// burst engine and the last burst's result, and the platform services. Handlers take it by
// reference.
struct MainForm {
    explicit MainForm(const Platform& services);
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;

    Platform platform;
    ScratchFile scratchFile;
    BurstEngine engine;  // requests, replies, the end of a burst and its evaluation

    // Controls that show something.
    WindowModel Form1;
    TextBox Text1;  // server clock and status messages
    TextBox Text2;  // local clock
    TextBox Text3;  // offset
    SettingsPanel panel;
    StatusBar StatusBar1;
    Toolbar Toolbar1;
    // The 选项 menu's ticks.
    CheckBox startWithSession;
    CheckBox closeToTray;

    // Hidden command buttons: their enabled states are the program's gates.
    Button Command2;  // settings
    Button Command4;  // exit
    Button Command5;  // measure; enabled exactly while idle
    Button Command6;  // calibrate; enabled while a fresh offset may be applied

    FormTimers timers;

    SyncSettings settings;
    // The server set: the address field first, then the servers after the port field.
    std::vector<std::string> servers;
    TimeSyncLog timeSyncLog;

    ReplyRecords replyRecords{};           // the last burst's, in evaluation order
    std::vector<std::string> serverNotes;  // the last burst's, as serverNotes gives them
    // The last burst's, where NTS certificates' dates were checked at the servers' time.
    std::string ntsDatesNote;
    bool logFailureReported = false;
    std::vector<std::string> afterHandlerNotices;
    double offsetSec = 0.0;
    double offsetWholeSec = 0.0;
    bool offsetValid = false;
    double lastClockCheck = 0.0;  // day-count date
    bool autoRun = false;
    bool sleeping = false;  // the machine said it goes to sleep and has not yet woken
    CorrectionState correction;
    // How the last burst or correction ended, and the last burst's result: what everything
    // that consumes a measurement reads, never a control's text.
    BurstResult lastBurst;
    OutcomeRecord lastOutcome;
    Signal outcomeRecorded;
    std::int16_t captionStep = 0;
    // Last: it watches the controls and outcomes above.
    TrayModel tray{*this};
};

}  // namespace korvel
