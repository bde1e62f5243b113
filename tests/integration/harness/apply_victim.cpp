// korvel-test-apply-victim PROGRAM_FOLDER RUNTIME_FOLDER ADDRESS_A ADDRESS_B
// Starts the program's window state on the real platform, then applies the settings panel
// with the two server addresses in turn, for ever. The test kills it at random moments and
// looks at sntp.cfg. Prints "ready" once the first apply is done.

#include <QCoreApplication>
#include <cstdio>

#include "harness/real_rig.h"
#include "settings/settings_panel.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fputs("usage: korvel-test-apply-victim FOLDER RUNTIME ADDRESS_A ADDRESS_B\n", stderr);
        return 64;
    }
    korvel::lab::RealRig rig(argv[1], argv[2]);
    if (!rig.startUp()) {
        return 1;
    }
    for (long round = 0;; ++round) {
        rig.form->Text9.setText(argv[3 + round % 2]);
        rig.form->Text10.setText("1231");
        korvel::applySettings(*rig.form);
        if (round == 0) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}
