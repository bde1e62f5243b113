#include "ui/form/burst_details.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <utility>

#include "common/day_date.h"
#include "common/text_forms.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr double kLeastOffsetSpanSec = 0.002;
constexpr double kLeastDelaySpanMs = 0.1;
constexpr double kLongRunSec = 3 * 3600.0;
constexpr double kSecondsPerDay = 86400.0;
// A drift known no better than this is not shown: two offsets a minute apart on a slow link
// say nothing yet.
constexpr double kLeastShownUncertaintyPpm = 1.0;
// A point on a plot's frame would be drawn half: the axes reach this share of the span past
// the extreme points.
constexpr double kAxisPadding = 0.05;

template <typename Range, typename Value>
std::pair<double, double> extent(const Range& range, Value value) {
    if (range.empty()) {
        return {0.0, 0.0};
    }
    const auto [lowest, highest] = std::ranges::minmax(range, {}, value);
    return {std::invoke(value, lowest), std::invoke(value, highest)};
}

// The axis for points from lowest to highest, none of them on its ends.
Axis paddedAxis(double lowest, double highest, double leastSpan) {
    const double padding = std::max(highest - lowest, leastSpan) * kAxisPadding;
    return plotAxis(lowest - padding, highest + padding, leastSpan);
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

namespace details {

Geometry geometry(int width, int height, int lineHeight, int labelWidth, int legendWidth) {
    const int margin = lineHeight;
    const int half = height / 2;
    const int plotLeft = margin + labelWidth + margin / 2;
    // Caption, then the vertical axis's name; below the plot the tick labels and the axis name.
    const auto plot = [&](int top, int bottom, int right) {
        const int plotTop = top + 3 * lineHeight;
        return Box{plotLeft, plotTop, right,
                   std::max(plotTop + 1, bottom - 2 * lineHeight - margin / 2)};
    };
    Geometry g;
    g.burstCaption = {margin, margin / 2, width - margin, margin / 2 + lineHeight};
    g.burstPlot = plot(margin / 2, half, std::max(plotLeft + 1, width - 2 * margin - legendWidth));
    g.legend = {width - margin - legendWidth, g.burstPlot.top, width - margin, g.burstPlot.bottom};
    g.runCaption = {margin, half + margin / 2, width - margin, half + margin / 2 + lineHeight};
    g.runPlot = plot(half + margin / 2, height, std::max(plotLeft + 1, width - margin));
    return g;
}

}  // namespace details

std::vector<double> Axis::ticks() const {
    std::vector<double> ticks;
    for (int k = 0; low + k * step <= high + step * 1e-6; ++k) {
        ticks.push_back(low + k * step);
    }
    return ticks;
}

double Axis::fraction(double value) const {
    return (value - low) / (high - low);
}

std::string Axis::label(double value) const {
    // No "-0.0" for a tick at zero that rounding left a hair below it.
    return fixed(std::abs(value) < step * 1e-6 ? 0.0 : value, decimals);
}

Axis plotAxis(double lowest, double highest, double leastSpan, int steps) {
    if (highest - lowest < leastSpan) {
        const double middle = (lowest + highest) / 2;
        lowest = middle - leastSpan / 2;
        highest = middle + leastSpan / 2;
    }
    const double rough = (highest - lowest) / steps;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double scaled = rough / power;
    Axis axis;
    axis.step = (scaled <= 1 ? 1 : scaled <= 2 ? 2 : scaled <= 5 ? 5 : 10) * power;
    // A value a rounding error past a tick stays on it.
    axis.low = std::floor(lowest / axis.step + 1e-9) * axis.step;
    axis.high = std::ceil(highest / axis.step - 1e-9) * axis.step;
    axis.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(axis.step) + 1e-9)));
    return axis;
}

BurstDetails::BurstDetails(MainForm& form) {
    m_feed = form.outcomeRecorded.connect([this, &form] {
        const PairedReading now = form.platform.steadyClock.readPaired();
        RunContext context;
        context.nowNtpSec = ntpSecondsOfUnixNs(now.utcNs);
        for (std::size_t i = 0; i < form.lastBurst.servers.size() && i < form.servers.size(); ++i) {
            if (form.lastBurst.servers[i].agreed) {
                context.servers += form.servers[i] + "\n";
            }
        }
        if (const auto line =
                form.platform.files.readFirstLine(keeperStatusPath(form.platform.files))) {
            context.keeper = parseKeeperStatus(*line);
        }
        // The kernel slews at 500 ppm: a run's offset is gone that long after it.
        context.keeperSlewing =
            context.keeper && context.keeper->action == KeeperAction::Slewed &&
            context.nowNtpSec - context.keeper->atNtpSec <
                std::abs(context.keeper->offsetSec) / (kMostFrequencyPpm * 1e-6);
        record(form.lastOutcome.outcome, form.lastBurst, form.replyRecords, now.steadyMs,
               form.serverNotes, context);
    });
}

void BurstDetails::record(Outcome outcome, const BurstResult& result, const ReplyRecords& records,
                          std::int64_t steadyMs, std::vector<std::string> serverNotes,
                          const RunContext& context) {
    if (outcome == Outcome::Stepped || outcome == Outcome::StepUnknown) {
        ++m_segment;
        m_stepped = true;
        return;
    }
    if (isCorrectionOutcome(outcome)) {
        return;
    }
    m_burstEnded = true;
    m_burst.clear();
    m_mean.reset();
    m_serverNotes = std::move(serverNotes);
    if (outcome == Outcome::Evaluated) {
        for (std::size_t i = 0; i < result.uses.size() && i + 1 < records.size(); ++i) {
            m_burst.push_back({records[i + 1].delay * 1000, records[i + 1].offset, result.uses[i]});
        }
        m_mean = result.offsetSec;
        if (!m_originMs) {
            m_originMs = steadyMs;
        }
        const double elapsedSec = static_cast<double>(steadyMs - *m_originMs) / 1000;
        m_run.push_back({elapsedSec, result.offsetSec, m_segment});
        if (m_run.size() > kMostRunPoints) {
            m_run.pop_front();
        }
        addDriftSample({elapsedSec, result.offsetSec, burstMiddle(result, records).spreadSec,
                        everyResponderAgrees(result), 0.0, 0.0},
                       context);
    }
    changed.notify();
}

int BurstDetails::countOf(ReplyUse use) const {
    return static_cast<int>(
        std::ranges::count(m_burst, use, [](const BurstPoint& point) { return point.use; }));
}

std::string BurstDetails::legendText(const MarkStyle& mark) const {
    return std::string(mark.caption) + " " + std::to_string(countOf(mark.use));
}

std::string BurstDetails::meanText() const {
    return m_mean ? "平均 " + sixDecimals(*m_mean) + " 秒" : std::string();
}

std::string BurstDetails::burstNotice() const {
    if (!m_burstEnded) {
        return details::kNoBurst;
    }
    return m_mean ? std::string() : details::kNoResult;
}

Axis BurstDetails::delayAxis() const {
    // Never below no delay at all.
    const auto [lowest, highest] = extent(m_burst, &BurstPoint::delayMs);
    const double padding = std::max(highest - lowest, kLeastDelaySpanMs) * kAxisPadding;
    const double low = std::max(0.0, lowest - padding);
    return plotAxis(low, std::max(highest + padding, low + kLeastDelaySpanMs), kLeastDelaySpanMs);
}

Axis BurstDetails::burstOffsetAxis() const {
    auto [lowest, highest] = extent(m_burst, &BurstPoint::offsetSec);
    if (m_mean) {
        lowest = std::min(lowest, *m_mean);
        highest = std::max(highest, *m_mean);
    }
    return paddedAxis(lowest, highest, kLeastOffsetSpanSec);
}

void BurstDetails::addDriftSample(const DriftSample& sample, const RunContext& context) {
    const auto keeperRun = [](const RunContext& c) { return c.keeper ? c.keeper->atNtpSec : 0.0; };
    // Offsets on either side of a step, a change of servers or a run of the scheduled
    // correction do not compare; what was known of the frequency before is kept.
    if (!m_comparable.empty() &&
        (m_stepped || context.servers != m_context.servers ||
         keeperRun(context) != keeperRun(m_context) || context.keeperSlewing ||
         m_context.keeperSlewing || !driftCanExplain(m_comparable.back(), sample))) {
        if (m_drift.known) {
            m_knownBefore = m_drift.frequency;
        }
        m_comparable.clear();
    }
    m_stepped = false;
    m_context = context;
    m_comparable.push_back(sample);
    if (m_comparable.size() > kMostRunPoints) {
        m_comparable.erase(m_comparable.begin());
    }
    m_drift = estimateDrift(m_comparable, m_knownBefore ? &*m_knownBefore : nullptr);
}

std::string BurstDetails::driftText() const {
    const FrequencyEstimate& needed = m_drift.frequency;
    if (!m_drift.known || needed.uncertaintyPpm > kLeastShownUncertaintyPpm) {
        return "时钟漂移：尚无可比的两次测时";
    }
    // The frequency the clock needs is the opposite of its own drift; no "-0.00".
    const double ppm = std::abs(needed.ppm) < 0.005 ? 0.0 : -needed.ppm;
    const double perDay = std::abs(ppm) * kSecondsPerDay / 1e6;
    return std::string(m_context.keeper ? "定时校准调频后剩余漂移 " : "时钟漂移 ") + fixed(ppm, 2) +
           " ± " + fixed(needed.uncertaintyPpm, 2) + " ppm（本机每天" + (ppm >= 0 ? "快 " : "慢 ") +
           fixed(perDay, 3) + " 秒）";
}

std::string BurstDetails::keeperText() const {
    return m_context.keeper ? keeperStatusWords(*m_context.keeper, m_context.nowNtpSec)
                            : std::string();
}

double BurstDetails::timeUnitSec() const {
    return !m_run.empty() && m_run.back().elapsedSec - m_run.front().elapsedSec > kLongRunSec
               ? 3600.0
               : 60.0;
}

std::string BurstDetails::timeAxisCaption() const {
    return timeUnitSec() > 60.0 ? "运行时间（小时）" : "运行时间（分钟）";
}

Axis BurstDetails::timeAxis() const {
    const auto [lowest, highest] = extent(m_run, &RunPoint::elapsedSec);
    const double unit = timeUnitSec();
    // Time runs on from the first offset shown.
    return plotAxis(lowest / unit, std::max(highest / unit, lowest / unit + 1.0), 1.0);
}

Axis BurstDetails::runOffsetAxis() const {
    const auto [lowest, highest] = extent(m_run, &RunPoint::offsetSec);
    return paddedAxis(lowest, highest, kLeastOffsetSpanSec);
}

}  // namespace korvel
