#include "calibration/clock_correction.h"

#include <cmath>
#include <cstdint>

#include "calibration/time_service_notice.h"
#include "calibration/time_sync_log.h"
#include "common/day_date.h"
#include "common/text_forms.h"
#include "exchange/request_sender.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr double kSecondsPerDay = 86400.0;

// Fields of second s (0 <= s < 86400) of the given day.
SystemTime fieldsOfDay(std::int64_t day, double s, std::uint16_t dayOfWeekRead) {
    double milliseconds = roundHalfEven((s - std::trunc(s)) * 1000);
    if (milliseconds >= 1000) {
        // Carry instead of handing the clock an impossible 1000 ms.
        s = std::trunc(s) + 1;
        milliseconds = 0;
        if (s >= kSecondsPerDay) {
            s -= kSecondsPerDay;
            ++day;
        }
    }
    const auto whole = static_cast<std::int32_t>(std::trunc(s));
    const CivilDate date = civilDate(day);
    SystemTime t;
    t.year = static_cast<std::uint16_t>(date.year);
    t.month = static_cast<std::uint16_t>(date.month);
    t.day = static_cast<std::uint16_t>(date.day);
    t.dayOfWeek = dayOfWeekRead;
    t.hour = static_cast<std::uint16_t>(whole / 3600);
    t.minute = static_cast<std::uint16_t>(whole % 3600 / 60);
    t.second = static_cast<std::uint16_t>(whole % 60);
    t.milliseconds = static_cast<std::uint16_t>(milliseconds);
    return t;
}

}  // namespace

SystemTime correctedTime(const SystemTime& utc, double offsetSec) {
    double s =
        utc.minute * 60.0 + utc.hour * 3600.0 + utc.second + utc.milliseconds / 1000.0 + offsetSec;
    std::int64_t day = dayNumber(utc.year, utc.month, utc.day);
    if (s <= 0 || s >= kSecondsPerDay) {
        const double total = static_cast<double>(day) * kSecondsPerDay + s;
        const double dayValue = std::floor(total / kSecondsPerDay);
        s = total - dayValue * kSecondsPerDay;
        day = static_cast<std::int64_t>(dayValue);
    }
    return fieldsOfDay(day, s, utc.dayOfWeek);
}

void clockCorrection(MainForm& form) {
    form.Timer5->stop();
    forgetBurst(form);
    if (form.autoRun) {
        form.autoRun = false;
        logEvent(form, "   校准(自动)");
    } else {
        logEvent(form, "   校准");
    }
    noteCompetingTimeService(form);
    SystemClock& clock = form.platform.systemClock;
    const SystemTime target = correctedTime(clock.getSystemTime(), form.offsetSec);
    if (!clock.setSystemTime(target)) {
        form.Text3.setText("校准失败");
        logPlain(form, form.Text3.text());
    }
    form.Command5.setEnabled(true);
    form.Command6.setEnabled(false);
    form.Timer3->stop();
    form.offsetSec = 0.0;
    form.offsetWholeSec = 0.0;
    form.lastClockCheck = dayDate(form.platform.localClock.getLocalTime());
    form.Timer5->start();
    form.Text3.setForeColor(kGrey);
}

}  // namespace korvel
