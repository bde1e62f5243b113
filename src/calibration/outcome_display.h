#pragma once

#include <string>

#include "platform/clock.h"
#include "sntp/outcome.h"

namespace korvel {

struct MainForm;

inline constexpr const char* kNoServerText = "无法连接服务器";
inline constexpr const char* kCongestedText = "网络阻塞,请稍候再试!";
inline constexpr const char* kInvalidTimeText = "服务器时间失效";
inline constexpr const char* kServersDisagreeText = "服务器之间时间不一致";
inline constexpr const char* kCorrectionFailedText = "校准失败";
inline constexpr const char* kCorrectionUnknownText = "校准结果未知";
inline constexpr const char* kStepPendingText = "上次校准仍在等待时间服务答复";
inline constexpr const char* kOffsetExpiredText = "测得的时差已过期，请重新测时";
inline constexpr const char* kClosingAfterAnswerText = "正在等待时间服务答复，答复后关闭窗口";

// The window's words for an outcome; empty for those it shows no words for.
std::string outcomeText(Outcome outcome);

// The offset box's text: a blank, the offset with six decimals, " 秒".
std::string offsetDisplayText(double offsetSec);

// What most likely put the clock this far off, as the window and the log say it; empty when
// nothing does.
std::string likelyCauseText(double offsetSec);
// The question before a correction by hand of an offset with a likely cause.
std::string largeOffsetQuestion(double offsetSec);

// The status bar's count of the replies of the running burst.
std::string replyCountText(int replies);

// The system answered a step after the window had stopped waiting for it.
void recordLateAnswer(MainForm& form, const ClockStepAnswer& answer);

// How a burst or a correction ended: kept on the form, shown where the window shows it, and
// told to whoever watches the form's outcomes. The only place outcomes become window texts.
void recordOutcome(MainForm& form, OutcomeRecord record);

}  // namespace korvel
