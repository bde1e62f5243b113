// korvel-test-apply-victim PROGRAM_FOLDER RUNTIME_FOLDER ADDRESS_A ADDRESS_B
// Starts the program's window state on the real platform, then applies the settings panel
// with the two server addresses in turn, for ever. The test kills it at random moments and
// looks at sntp.cfg. Prints "ready" once the first apply is done.

#include <QCoreApplication>
#include <cstdio>

#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_timers.h"
#include "platform/qt/qt_udp_socket.h"
#include "settings/lifecycle.h"
#include "settings/settings_panel.h"
#include "ui/form/main_form.h"

namespace {

using namespace korvel;

// Reads the real clock and never sets it.
class ReadOnlyClock final : public SystemClock, public LocalClock {
public:
    SystemTime getSystemTime() override { return m_real.getSystemTime(); }
    SystemTime getLocalTime() override { return m_real.getLocalTime(); }
    bool setSystemTime(const SystemTime&) override { return false; }
    std::string competingTimeService() override { return m_real.competingTimeService(); }

private:
    PosixClock m_real;
};

class Quiet final : public MessageBox,
                    public Beeper,
                    public InstanceGuard,
                    public SecondaryWindows,
                    public ProgramControl {
public:
    void show(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void beep() override {}
    bool anotherCopyRunning() override { return false; }
    void showAboutBox() override {}
    void openHelpViewer(const std::string&) override {}
    void endNow() override {}
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fputs("usage: korvel-test-apply-victim FOLDER RUNTIME ADDRESS_A ADDRESS_B\n", stderr);
        return 64;
    }
    ReadOnlyClock clock;
    PosixFileSystem files(argv[1], argv[2]);
    QtUdpSocket socket;
    QtTimerService timers;
    Quiet quiet;
    MainForm form(Platform{clock, clock, socket, timers, files, quiet, quiet, quiet, quiet, quiet});
    if (!startUp(form)) {
        return 1;
    }
    for (long round = 0;; ++round) {
        form.Text9.setText(argv[3 + round % 2]);
        form.Text10.setText("0");
        applySettings(form);
        if (round == 0) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}
