#include "calibration/time_sync_log.h"

#include "calibration/lifecycle.h"
#include "common/text_forms.h"
#include "ui/form/main_form.h"

namespace korvel {

std::string eventLine(const SystemTime& local, std::string_view text) {
    std::string line = logDateText(local) + "  " + logTimeText(local);
    line += text;
    return line;
}

std::string scheduledStartLine(const SystemTime& local) {
    return logDateText(local) + "   " + logTimeText(local) + "   测时差（自动）";
}

std::string resultLine(double offsetSec, bool autoRun) {
    return sixDecimals(offsetSec) + (autoRun ? "   自动校准" : "");
}

void logEvent(MainForm& form, std::string_view text) {
    logPlain(form, eventLine(form.platform.localClock.getLocalTime(), text));
}

void logPlain(MainForm& form, const std::string& line) {
    if (form.settings.logOn && !form.timeSyncLog.append(line) && !form.logFailureReported) {
        // A modal box here would run inside the evaluation or the correction, and hold a
        // scheduled one until somebody answers it: it comes once the handler has returned.
        form.logFailureReported = true;
        showAfterHandler(form, "校时数据无法写入 " + form.settings.logPath);
    }
}

std::string defaultLogPath(const std::string& programFolder, const SystemTime& localNow) {
    return joinPath(programFolder, logDateText(localNow) + ".log");
}

}  // namespace korvel
