#include "calibration/outcome_display.h"

#include <utility>

#include "common/text_forms.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

std::string withNotice(const OutcomeRecord& record) {
    if (record.cause.empty() || record.notice.empty()) {
        return record.cause + record.notice;
    }
    return record.cause + "\n" + record.notice;
}

}  // namespace

std::string outcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::NoReply:
        case Outcome::NameNotResolved:
            return kNoServerText;
        case Outcome::TooFewReplies:
        case Outcome::RefusedByServer:
            return kCongestedText;
        case Outcome::RejectedInvalid:
        case Outcome::ServersDisagree:
            return kInvalidTimeText;
        case Outcome::StepRefused:
        case Outcome::ConsentRefused:
            return kCorrectionFailedText;
        case Outcome::StepUnknown:
            return kCorrectionUnknownText;
        case Outcome::Evaluated:
        case Outcome::LocalPortUnusable:
        case Outcome::NoScratchFolder:
        case Outcome::Stepped:
        case Outcome::WithheldNoSecondOpinion:
        case Outcome::WithheldOtherTimeService:
        case Outcome::WithheldOffsetTooLarge:
            break;
    }
    return {};
}

std::string offsetDisplayText(double offsetSec) {
    return " " + sixDecimals(offsetSec) + " 秒";
}

void recordOutcome(MainForm& form, OutcomeRecord record) {
    switch (record.outcome) {
        case Outcome::Evaluated:
            form.Text3.setForeColor(form.offsetWholeSec == 0  ? kWhite
                                    : form.offsetWholeSec > 0 ? kGreen
                                                              : kRed);
            form.Text3.setText(offsetDisplayText(form.offsetSec));
            break;
        case Outcome::NoReply:
        case Outcome::NameNotResolved:
            form.Text1.setForeColor(kRed);
            form.Text1.setToolTip(record.cause);
            form.Text1.setText(outcomeText(record.outcome));
            break;
        case Outcome::TooFewReplies:
        case Outcome::RefusedByServer:
            form.Text1.setForeColor(kYellow);
            form.Text1.setToolTip(record.cause);
            form.Text1.setText(outcomeText(record.outcome));
            break;
        case Outcome::RejectedInvalid:
        case Outcome::ServersDisagree:
            form.Text1.setToolTip(record.cause);
            form.Text1.setText(outcomeText(record.outcome));
            break;
        case Outcome::StepRefused:
        case Outcome::ConsentRefused:
        case Outcome::StepUnknown:
            form.Text3.setText(outcomeText(record.outcome));
            form.Text3.setToolTip(withNotice(record));
            break;
        case Outcome::Stepped:
            form.Text3.setToolTip(record.notice);
            break;
        case Outcome::LocalPortUnusable:
        case Outcome::NoScratchFolder:
        case Outcome::WithheldNoSecondOpinion:
        case Outcome::WithheldOtherTimeService:
        case Outcome::WithheldOffsetTooLarge:
            break;
    }
    form.lastOutcome = std::move(record);
    form.outcomeRecorded.notify();
}

}  // namespace korvel
