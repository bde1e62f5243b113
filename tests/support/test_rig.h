#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "support/fake_elevation.h"
#include "support/fake_feedback.h"
#include "support/fake_files.h"
#include "support/fake_network.h"
#include "support/fake_system.h"
#include "support/virtual_time.h"
#include "ui/form/main_form.h"

namespace korvel::test {

// The core on the fake platform: a window state wired to a virtual clock, network and files,
// with a server at FakeSntpServer::kAddress. The local clock runs 8 hours ahead of UTC.
struct TestRig {
    explicit TestRig(const SystemTime& utcStart = utcTime(2026, 12, 6, 1, 5, 7));

    // The exchange wired and the socket prepared, as the command-line tool does.
    void prepareExchange();
    // The exchange prepared and a burst started that the server never answers.
    void startSilentBurst();
    // Runs the measure command and lets virtual time pass.
    void measure(std::int64_t runMs = 12'000);
    // The desktop program's start-up with sntp.cfg naming the fake server.
    void startProgram();
    // Logging on into kLogPath, as an applied log setting leaves it.
    void startLog() {
        form->settings.logOn = true;
        form->settings.logPath = kLogPath;
        form->timeSyncLog.open(files, kLogPath);
    }
    std::string cfgPath() const { return files.programFolderPath + "/sntp.cfg"; }
    std::vector<std::string> logLines() const { return files.lines(form->settings.logPath); }

    static constexpr const char* kLogPath = "/opt/korvel/12-06-2026.log";

    VirtualTime time;
    FakeUdpSocket socket{time};
    FakeSntpServer server{time, socket};
    FakeFileSystem files;
    ScriptedMessageBox messageBox;
    BeepRecorder beeper;
    FakeInstanceGuard instanceGuard;
    FakeWindows windows;
    FakeProgram program;
    FakeElevation elevation;
    FakeSystemEvents systemEvents;
    std::unique_ptr<MainForm> form;
};

}  // namespace korvel::test
