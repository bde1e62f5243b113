#include "calibration/outcome_display.h"

#include <utility>
#include <vector>

#include "common/text_forms.h"
#include "exchange/burst_engine.h"
#include "exchange/exchange.h"
#include "sntp/burst_evaluation.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

std::string withNotice(const OutcomeRecord& record) {
    if (record.cause.empty() || record.notice.empty()) {
        return record.cause + record.notice;
    }
    return record.cause + "\n" + record.notice;
}

// The lines of a text on one line, for the status bar.
std::string oneLine(std::string text) {
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
        text.replace(at, 1, "；");
    }
    return text;
}

// The first text and the others on one line, for the status bar.
std::string joined(std::string first, const std::vector<std::string>& others) {
    for (const std::string& text : others) {
        first += (first.empty() || text.empty() ? "" : "；") + text;
    }
    return first;
}

std::string likelyCauseWords(OffsetCause cause) {
    switch (cause) {
        case OffsetCause::TimeZone:
            return "时区或双系统的硬件时钟";
        case OffsetCause::Battery:
            return "主板电池失效";
        case OffsetCause::None:
            break;
    }
    return {};
}

}  // namespace

std::string outcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::NoReply:
        case Outcome::NameNotResolved:
        case Outcome::NtsFailed:
            return kNoServerText;
        case Outcome::TooFewReplies:
        case Outcome::RefusedByServer:
            return kCongestedText;
        case Outcome::RejectedInvalid:
            return kInvalidTimeText;
        case Outcome::ServersDisagree:
            return kServersDisagreeText;
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
        case Outcome::WithheldOffsetChanged:
            break;
    }
    return {};
}

std::string likelyCauseText(double offsetSec) {
    const std::string words = likelyCauseWords(likelyCause(offsetSec));
    return words.empty() ? words : "可能原因：" + words;
}

std::string largeOffsetQuestion(double offsetSec) {
    return "时差" + offsetDisplayText(offsetSec) + "，" + likelyCauseText(offsetSec) +
           "。\n仍要校准吗？";
}

std::string replyCountText(int replies) {
    return "已收到 " + std::to_string(replies) + "/" + std::to_string(kRepliesPerBurst);
}

// The first line of a text, for the status bar.
std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

void recordLateAnswer(MainForm& form, const ClockStepAnswer& answer) {
    form.StatusBar1.setPanel(2, answer.outcome == ClockStep::Stepped
                                    ? "时间服务已答复：时钟已经校准"
                                    : "时间服务已答复，时钟没有校准：" + firstLine(answer.reason));
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
            form.Text3.setToolTip(record.notice);
            // The likely cause, where the certificates' dates were checked, then the servers
            // whose replies were authenticated.
            if (std::string said =
                    joined(joined(likelyCauseText(form.offsetSec), {form.ntsDatesNote}),
                           authenticatedServers(form.servers, form.lastBurst));
                !said.empty()) {
                form.StatusBar1.setPanel(2, std::move(said));
            }
            break;
        case Outcome::NoReply:
        case Outcome::NameNotResolved:
        case Outcome::NtsFailed:
            form.Text1.setForeColor(kRed);
            form.Text1.setToolTip(record.cause);
            form.Text1.setText(outcomeText(record.outcome));
            // Why, where the user looks: one server's reason after another.
            form.StatusBar1.setPanel(2, joined(oneLine(record.cause), {form.ntsDatesNote}));
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
            // Said where the user looks, not only in a tool tip, until the next command.
            form.StatusBar1.setPanel(
                2, firstLine(record.cause.empty() ? outcomeText(record.outcome) : record.cause));
            break;
        case Outcome::Stepped:
            form.Text3.setToolTip(record.notice);
            break;
        case Outcome::LocalPortUnusable:
        case Outcome::NoScratchFolder:
        case Outcome::WithheldNoSecondOpinion:
        case Outcome::WithheldOtherTimeService:
        case Outcome::WithheldOffsetTooLarge:
        case Outcome::WithheldOffsetChanged:
            break;
    }
    form.lastOutcome = std::move(record);
    form.outcomeRecorded.notify();
}

}  // namespace korvel
