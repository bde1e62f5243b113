#include "ui/form/tray_model.h"

#include <cmath>
#include <cstdint>

#include "common/day_date.h"
#include "common/text_forms.h"
#include "sntp/keeper.h"
#include "ui/form/form_layout.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kSecondsPerTenthHour = 360.0;

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// ": the cause's first line", or nothing without a cause.
std::string because(const std::string& cause) {
    return cause.empty() ? std::string() : "：" + firstLine(cause);
}

std::string timeOfDay(double secondsSinceMidnight) {
    const auto seconds = static_cast<std::uint32_t>(secondsSinceMidnight);
    SystemTime time;
    time.hour = static_cast<std::uint16_t>(seconds / 3600);
    time.minute = static_cast<std::uint16_t>(seconds / 60 % 60);
    time.second = static_cast<std::uint16_t>(seconds % 60);
    return logTimeText(time);
}

}  // namespace

TrayModel::TrayModel(MainForm& form) : m_form(form) {
    m_connections.push_back(form.outcomeRecorded.connect([this] { recordOutcome(); }));
    for (Button* gate : {&form.Command5, &form.Command6}) {
        m_connections.push_back(gate->changed.connect([this] { refresh(true); }));
    }
    // The local clock's second: the schedule may have been set again meanwhile.
    m_connections.push_back(form.Text2.changed.connect([this] { refresh(false); }));
    refresh(false);
}

bool TrayModel::isEnabled(const layout::TrayItem& item) const {
    return item.gate == nullptr || (m_form.*item.gate).isEnabled();
}

void TrayModel::setShown(bool shown) {
    if (assignChanged(m_shown, shown)) {
        changed.notify();
    }
}

void TrayModel::recordOutcome() {
    m_anyOutcome = true;
    if (m_form.lastOutcome.outcome == Outcome::Evaluated) {
        m_offsetSec = m_form.lastBurst.offsetSec;
        m_measuredAt = m_form.platform.localClock.getLocalTime();
    }
    refresh(false);
}

std::string TrayModel::statusLines() const {
    const OutcomeRecord& last = m_form.lastOutcome;
    std::string lines;
    if (m_offsetSec) {
        lines +=
            "\n时差 " + sixDecimals(*m_offsetSec) + " 秒（" + logTimeText(m_measuredAt) + " 测得）";
    }
    if (!m_form.Command5.isEnabled()) {
        lines += m_form.correction.correcting ? "\n正在校准" : "\n正在测时";
    } else if (!m_anyOutcome) {
        lines += "\n尚未测时";
    } else {
        switch (last.outcome) {
            case Outcome::Evaluated:
                break;
            case Outcome::Stepped:
                lines += "\n已校准";
                break;
            case Outcome::WithheldNoSecondOpinion:
            case Outcome::WithheldOtherTimeService:
            case Outcome::WithheldOffsetTooLarge:
                lines += "\n未自动校准";
                break;
            case Outcome::StepRefused:
            case Outcome::ConsentRefused:
            case Outcome::StepUnknown:
                lines += "\n校准未完成" + because(last.cause);
                break;
            default:  // a burst without an offset
                lines += "\n上次测时失败" + because(last.cause);
                break;
        }
    }
    // While the scheduled correction keeps the clock, its last run.
    if (const auto line = m_form.platform.files.readFirstLine(kKeeperStatusPath)) {
        if (const auto status = parseKeeperStatus(*line)) {
            const double now = ntpSecondsOfUnixNs(m_form.platform.steadyClock.readPaired().utcNs);
            lines += "\n" + keeperStatusWords(*status, now);
        }
    }
    const SyncSettings& settings = m_form.settings;
    if (settings.autoSyncOn) {
        // After a wake the schedule waits for the network and counts again from there.
        const bool waiting = m_form.sleeping || m_form.timers.resumeWaitTimer->isRunning();
        lines += "\n下次自动校时 " +
                 (waiting ? std::string("网络恢复 15 秒后")
                          : timeOfDay(std::fmod(settings.scheduleStart +
                                                    settings.autoSyncTenths * kSecondsPerTenthHour,
                                                kSecondsPerDay)));
    }
    return lines;
}

void TrayModel::refresh(bool gatesChanged) {
    TrayState state = TrayState::Idle;
    if (!m_form.Command5.isEnabled()) {
        state = TrayState::Measuring;
    } else if (m_anyOutcome && isCorrectionOutcome(m_form.lastOutcome.outcome)) {
        const Outcome outcome = m_form.lastOutcome.outcome;
        state = outcome == Outcome::StepRefused || outcome == Outcome::ConsentRefused ||
                        outcome == Outcome::StepUnknown
                    ? TrayState::Refused
                    : TrayState::Good;
    } else if (m_anyOutcome && m_form.lastOutcome.outcome == Outcome::Evaluated) {
        state = TrayState::Good;
    }
    std::string toolTip = "KORVEL" + statusLines();
    const bool stateChanged = assignChanged(m_state, state);
    if (assignChanged(m_toolTip, std::move(toolTip)) || stateChanged || gatesChanged) {
        changed.notify();
    }
}

}  // namespace korvel
