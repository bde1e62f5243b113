#include "calibration/clock_correction.h"

#include "calibration/time_service_notice.h"
#include "calibration/time_sync_log.h"
#include "common/day_date.h"
#include "common/text_forms.h"
#include "exchange/request_sender.h"
#include "settings/lifecycle.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

std::string failureReason(ClockStep outcome) {
    switch (outcome) {
        case ClockStep::Stepped:
            return {};
        case ClockStep::NotAuthorised:
            return "未获授权设置系统时钟（需要管理员授权）。";
        case ClockStep::AutomaticSync:
            return "系统已开启自动时间同步，不接受手动校准。如需手动校准，请先关闭自动同步"
                   "（命令 timedatectl set-ntp false）。";
        case ClockStep::NoRight:
            return kNoRightReason;
        case ClockStep::Rejected:
            return "系统拒绝了新的时间。";
        case ClockStep::Unknown:
            return "没有收到时间服务的答复，时钟可能已经校准，请再测时一次确认。";
    }
    return {};
}

void finishCorrection(MainForm& form, ClockStep outcome, bool scheduled) {
    form.correcting = false;
    if (outcome != ClockStep::Stepped) {
        form.Text3.setText(outcome == ClockStep::Unknown ? kCorrectionUnknownText
                                                         : kCorrectionFailedText);
        logPlain(form, form.Text3.text());
        const std::string notice = form.Text3.toolTip();
        form.Text3.setToolTip(failureReason(outcome) + (notice.empty() ? "" : "\n" + notice));
    }
    form.Command5.setEnabled(true);
    form.Command6.setEnabled(false);
    form.Command2.setEnabled(true);
    form.Timer3->stop();
    form.offsetSec = 0.0;
    form.offsetWholeSec = 0.0;
    form.lastClockCheck = dayDate(form.platform.localClock.getLocalTime());
    form.Timer5->start();
    form.Text3.setForeColor(kGrey);
    if (!form.decisionLine.empty()) {
        logEvent(form, form.decisionLine);
        form.decisionLine.clear();
    }
    if (scheduled && outcome == ClockStep::NotAuthorised) {
        showAfterHandler(form, kScheduledRefusalNotice);
    }
    if (form.closeWhenCorrected) {
        shutDown(form);
        endProgramNow(form);
    }
}

}  // namespace

void clockCorrection(MainForm& form) {
    form.Timer5->stop();
    const bool scheduled = form.autoRun;
    forgetBurst(form);
    if (form.autoRun) {
        form.autoRun = false;
        logEvent(form, "   校准(自动)");
    } else {
        logEvent(form, "   校准");
    }
    noteCompetingTimeService(form);
    // Until the clock answers no burst or second correction may start; the display goes on.
    form.correcting = true;
    form.Command5.setEnabled(false);
    form.Command6.setEnabled(false);
    form.Command2.setEnabled(false);
    form.Timer3->stop();
    form.Timer5->start();
    form.platform.systemClock.stepClock(
        form.offsetSec, !scheduled,
        [&form, scheduled](ClockStep outcome) { finishCorrection(form, outcome, scheduled); });
}

}  // namespace korvel
