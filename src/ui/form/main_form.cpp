#include "ui/form/main_form.h"

namespace korvel {

MainForm::MainForm(const Platform& services)
    : platform(services),
      engine({services.systemClock, services.steadyClock, services.socket, services.timers,
              services.files, services.random, scratchFile}),
      Timer3(services.timers.createTimer(TimerPrecision::Precise)),
      Timer5(services.timers.createTimer(TimerPrecision::Coarse)),
      Timer6(services.timers.createTimer(TimerPrecision::Coarse)),
      Timer7(services.timers.createTimer(TimerPrecision::Coarse)),
      Timer4(services.timers.createTimer(TimerPrecision::Coarse)),
      correctionWaitTimer(services.timers.createTimer(TimerPrecision::Coarse)),
      burstClockTimer(services.timers.createTimer(TimerPrecision::Coarse)),
      resumeWaitTimer(services.timers.createTimer(TimerPrecision::Coarse)) {
    Form1.setCaption(kWindowTitle);
    Form1.setGeometry(0, kCollapsedWidthTwips);
}

}  // namespace korvel
