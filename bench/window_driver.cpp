// The desktop program, composed as the program itself is, with a driver the
// footprint bench talks to: it reports the first painted window and, for each line
// "measure N" on standard input, clicks the toolbar's 测时 button N times, one burst after
// the other, printing "measured I OFFSET-OR-MESSAGE" as each burst has sent its 30 requests,
// then "done".

#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <string>

#include "app/desktop_program.h"
#include "first_frame.h"

namespace {

using namespace korvel;

// Clicks 测时 and waits for each burst to end: the measure button back and all 30 requests
// sent, as a user who clicks again only when the window is idle.
class MeasureClicker {
public:
    MeasureClicker(MainForm& form, QToolButton& measureButton)
        : m_form(form), m_button(measureButton) {
        m_poll.setInterval(20);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { checkBurst(); });
    }

    void start(int count) {
        m_left = count;
        clickNext();
    }

private:
    void clickNext() {
        if (m_left == 0) {
            std::printf("done\n");
            std::fflush(stdout);
            return;
        }
        --m_left;
        m_button.click();
        m_poll.start();
    }

    void checkBurst() {
        if (!m_form.Command5.isEnabled() || m_form.engine.running()) {
            return;
        }
        m_poll.stop();
        const std::string& offset = m_form.Text3.text();
        std::printf("measured %d %s\n", ++m_done,
                    (offset.empty() ? m_form.Text1.text() : offset).c_str());
        std::fflush(stdout);
        clickNext();
    }

    MainForm& m_form;
    QToolButton& m_button;
    QTimer m_poll;
    int m_left = 0;
    int m_done = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    DesktopProgram program;
    if (!program.start()) {
        return 0;
    }
    Form1& window = program.window();
    MainForm& form = program.form();
    const bench::FirstFrame firstFrame(&window);

    auto* measureButton = window.findChild<QToolButton*>(QStringLiteral("Toolbar1.Button1"));
    if (measureButton == nullptr) {
        std::fprintf(stderr, "no toolbar button 1\n");
        return 70;
    }
    MeasureClicker clicker(form, *measureButton);
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&commands, &QSocketNotifier::activated, [&] {
        char chunk[256];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            commands.setEnabled(false);
            return;
        }
        pending.append(chunk, static_cast<std::size_t>(got));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.rfind("measure ", 0) == 0) {
                clicker.start(std::stoi(line.substr(8)));
            }
        }
    });

    window.show();
    return QApplication::exec();
}
