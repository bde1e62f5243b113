#include "calibration/clock_display.h"

#include <cmath>

#include "calibration/measure_command.h"
#include "calibration/offset_evaluation.h"
#include "calibration/time_sync_log.h"
#include "common/day_date.h"
#include "common/text_forms.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// Two readings 200 ms apart that differ by more than this mean the clock was set.
constexpr double kClockJumpSeconds = 1.4;
constexpr double kSecondsPerTenthHour = 360.0;

float secondsSinceMidnightNow(MainForm& form) {
    return secondsSinceMidnight(form.platform.localClock.getLocalTime());
}

void startScheduledMeasurement(MainForm& form, float t) {
    if (form.Command5.isEnabled()) {
        form.autoRun = true;
        measureCommand(form);
    } else {
        logEvent(form, "   自动校时无法执行");
    }
    form.settings.scheduleStart = t;
}

void runScheduler(MainForm& form) {
    if (form.sleeping || form.timers.resumeWaitTimer->isRunning()) {
        return;
    }
    SyncSettings& settings = form.settings;
    const float t = secondsSinceMidnightNow(form);
    double elapsed = t - settings.scheduleStart;
    if (elapsed < 0) {
        elapsed += kSecondsPerDay;
    }
    if (elapsed > settings.autoSyncTenths * kSecondsPerTenthHour) {
        startScheduledMeasurement(form, t);
    }
}

void showLocalClockAt(MainForm& form, double now) {
    form.Text2.setForeColor(kWhite);
    form.Text2.setText(clockDisplayText(now));
}

}  // namespace

void showLocalClock(MainForm& form) {
    showLocalClockAt(form, dayDate(form.platform.localClock.getLocalTime()));
}

void clockTick(MainForm& form) {
    LocalClock& clock = form.platform.localClock;
    const double now = dayDate(clock.getLocalTime());
    showLocalClockAt(form, now);
    form.offsetWholeSec = roundToWholeSeconds(form.offsetSec);

    if (form.offsetValid) {
        const double serverNow =
            dayDate(clock.getLocalTime()) + form.offsetWholeSec / kSecondsPerDay;
        form.Text1.setForeColor(std::abs(form.offsetWholeSec) >= 1 ? kYellow : kWhite);
        form.Text1.setText(clockDisplayText(serverNow));
        if (form.correction.correcting) {
            // The step on its way is no jump; the correction takes a new reading.
        } else if (std::abs(now * kSecondsPerDay - form.lastClockCheck * kSecondsPerDay) >
                   kClockJumpSeconds) {
            form.offsetValid = false;
            form.Text1.setText("");
            form.Command6.setEnabled(false);
        } else {
            form.lastClockCheck = now;
        }
    }

    if (form.settings.autoSyncOn && !form.correction.correcting) {
        runScheduler(form);
    }
}

void systemEventArrived(MainForm& form, SystemEvent event) {
    form.sleeping = event == SystemEvent::Suspending;
    // Stop then start: each wake or reconnection waits the full time again.
    form.timers.resumeWaitTimer->stop();
    if (!form.sleeping) {
        form.timers.resumeWaitTimer->start();
    }
}

void resumeWaitTick(MainForm& form) {
    form.timers.resumeWaitTimer->stop();
    if (form.settings.autoSyncOn && !form.correction.correcting) {
        startScheduledMeasurement(form, secondsSinceMidnightNow(form));
    }
}

}  // namespace korvel
