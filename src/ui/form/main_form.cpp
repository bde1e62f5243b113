#include "ui/form/main_form.h"

namespace korvel {

FormTimers::FormTimers(TimerService& factory)
    : Timer3(factory.createTimer(TimerPrecision::Precise)),
      Timer5(factory.createTimer(TimerPrecision::Coarse)),
      Timer6(factory.createTimer(TimerPrecision::Coarse)),
      Timer7(factory.createTimer(TimerPrecision::Coarse)),
      Timer4(factory.createTimer(TimerPrecision::Coarse)),
      correctionWaitTimer(factory.createTimer(TimerPrecision::Coarse)),
      burstClockTimer(factory.createTimer(TimerPrecision::Coarse)),
      resumeWaitTimer(factory.createTimer(TimerPrecision::Coarse)) {}

MainForm::MainForm(const Platform& services)
    : platform(services),
      engine({services.systemClock, services.steadyClock, services.socket, services.timers,
              services.files, services.random, scratchFile}),
      timers(services.timers) {
    Form1.setCaption(kWindowTitle);
    Form1.setGeometry(0, kCollapsedWidthTwips);
}

}  // namespace korvel
