#include "support/test_rig.h"

#include "calibration/measure_command.h"
#include "exchange/scratch_file.h"

#include "wiring/start_up.h"

namespace korvel::test {

TestRig::TestRig(const SystemTime& utcStart) : time(utcStart, 8 * 60) {
    form = std::make_unique<MainForm>(Platform{time, time, socket, time, files, messageBox, beeper,
                                               instanceGuard, windows, program, time, time,
                                               elevation, systemEvents});
}

void TestRig::prepareExchange() {
    attachMeasurement(*form);
    openScratchFile(form->scratchFile, files, kScratchFileName);
    prepareSocket(*form, {"192.0.2.1      "}, 1231);
}

void TestRig::startSilentBurst() {
    prepareExchange();
    server.drop = [](int) { return true; };
    measureCommand(*form);
}

void TestRig::startProgram() {
    files.textFiles[cfgPath()] = {"SNTP 192.0.2.1       1231"};
    startUp(*form);
}

void TestRig::measure(std::int64_t runMs) {
    measureCommand(*form);
    time.advance(runMs);
}

}  // namespace korvel::test
