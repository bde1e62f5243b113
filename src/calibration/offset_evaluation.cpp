#include "calibration/offset_evaluation.h"

#include <cmath>
#include <utility>

#include "calibration/clock_correction.h"
#include "calibration/time_sync_log.h"
#include "common/day_date.h"
#include "common/text_forms.h"
#include "exchange/request_sender.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr std::int16_t kMostFlaggedReplies = 3;

// Exchange sort over records first..last by a field, ascending; equal values stay put.
template <typename Key>
void exchangeSort(ReplyRecords& records, int first, int last, Key key) {
    for (int i = first; i <= last; ++i) {
        for (int j = i; j <= last; ++j) {
            auto& a = records[static_cast<std::size_t>(i)];
            auto& b = records[static_cast<std::size_t>(j)];
            if (key(a) > key(b)) {
                std::swap(a, b);
            }
        }
    }
}

void decideAutomatically(MainForm& form) {
    const SyncSettings& settings = form.settings;
    if (settings.limitOn && std::abs(form.offsetSec) >= settings.limitMs / 1000.0) {
        form.autoRun = false;
        logEvent(form, "   自动未校准执行（时差不小于限制）");
        return;
    }
    // The correction writes the decision once the clock has answered.
    form.decisionLine =
        settings.limitOn ? "   自动校准执行（时差小于限制）" : "   自动校准执行（无时差限制）";
    clockCorrection(form);
}

}  // namespace

double roundToWholeSeconds(double seconds) {
    const double whole = std::trunc(seconds);
    const double fraction = seconds - whole;
    if (fraction > 0.5) {
        return whole + 1;
    }
    if (fraction < -0.5) {
        return whole - 1;
    }
    return whole;
}

std::string offsetDisplayText(double offsetSec) {
    return " " + sixDecimals(offsetSec) + " 秒";
}

void adjust(MainForm& form, const std::int16_t& difIDd) {
    forgetBurst(form);
    const int n = difIDd;
    ReplyRecords& records = form.replyRecords;
    std::int16_t flagged = 0;
    for (int i = 1; i <= n; ++i) {
        ReplyRecord& r = records[static_cast<std::size_t>(i)];
        r.offset = (r.t3 + r.t2 - r.t1 - r.t4) / 2;
        r.delay = (r.t4 - r.t1) - (r.t3 - r.t2);
        flagged = static_cast<std::int16_t>(flagged + r.invalid);
    }
    if (flagged > kMostFlaggedReplies) {
        form.Text1.setText("服务器时间失效");
        form.Command5.setEnabled(true);
        form.Command2.setEnabled(true);
        form.Timer5->start();
        form.autoRun = false;
        return;
    }

    exchangeSort(records, 1, n, [](const ReplyRecord& r) { return r.offset; });
    // The two extreme offsets (records 1 and n) take no further part.
    exchangeSort(records, 2, n - 1, [](const ReplyRecord& r) { return r.delay; });
    double sum = 0.0;
    for (int i = 2; i <= n - 4; ++i) {
        sum += records[static_cast<std::size_t>(i)].offset;
    }
    form.offsetSec = sum / (n - 5);
    form.offsetWholeSec = roundToWholeSeconds(form.offsetSec);
    form.evaluatedReplies = difIDd;

    form.Text3.setForeColor(form.offsetWholeSec == 0  ? kWhite
                            : form.offsetWholeSec > 0 ? kGreen
                                                      : kRed);
    form.Text3.setText(offsetDisplayText(form.offsetSec));

    form.Command6.setEnabled(true);
    form.Command5.setEnabled(true);
    form.Command2.setEnabled(true);
    form.offsetValid = true;
    form.Timer3->start();
    form.Timer5->start();
    form.lastClockCheck = dayDate(form.platform.localClock.getLocalTime());

    logPlain(form, resultLine(form.offsetSec, form.autoRun));
    if (form.autoRun) {
        decideAutomatically(form);
    }
}

}  // namespace korvel
