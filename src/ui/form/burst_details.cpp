#include "ui/form/burst_details.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <utility>

#include "common/text_forms.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr double kLeastOffsetSpanSec = 0.002;
constexpr double kLeastDelaySpanMs = 0.1;
constexpr double kLongRunSec = 3 * 3600.0;
constexpr double kSecondsPerDay = 86400.0;
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
        record(form.lastOutcome.outcome, form.lastBurst, form.replyRecords,
               form.platform.steadyClock.readPaired().steadyMs, form.serverNotes);
    });
}

void BurstDetails::record(Outcome outcome, const BurstResult& result, const ReplyRecords& records,
                          std::int64_t steadyMs, std::vector<std::string> serverNotes) {
    if (outcome == Outcome::Stepped || outcome == Outcome::StepUnknown) {
        ++m_segment;
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
        m_run.push_back(
            {static_cast<double>(steadyMs - *m_originMs) / 1000, result.offsetSec, m_segment});
        if (m_run.size() > kMostRunPoints) {
            m_run.pop_front();
        }
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

std::optional<double> BurstDetails::driftPpm() const {
    struct Means {
        double count = 0.0;
        double elapsedSec = 0.0;
        double offsetSec = 0.0;
    };
    std::map<int, Means> means;
    for (const RunPoint& point : m_run) {
        Means& m = means[point.segment];
        m.count += 1;
        m.elapsedSec += point.elapsedSec;
        m.offsetSec += point.offsetSec;
    }
    for (auto& [segment, m] : means) {
        m.elapsedSec /= m.count;
        m.offsetSec /= m.count;
    }
    // Each point about its own segment's means, so a step between segments adds nothing.
    double spread = 0.0;
    double together = 0.0;
    for (const RunPoint& point : m_run) {
        const Means& m = means[point.segment];
        spread += (point.elapsedSec - m.elapsedSec) * (point.elapsedSec - m.elapsedSec);
        together += (point.elapsedSec - m.elapsedSec) * (point.offsetSec - m.offsetSec);
    }
    if (spread <= 0.0) {
        return std::nullopt;
    }
    // The offset is server minus local: a clock that gains makes it fall.
    return -together / spread * 1e6;
}

std::string BurstDetails::driftText() const {
    const std::optional<double> ppm = driftPpm();
    if (!ppm) {
        return "时钟漂移：尚无可比的两次测时";
    }
    const double perDay = std::abs(*ppm) * kSecondsPerDay / 1e6;
    return "时钟漂移 " + fixed(*ppm, 2) + " ppm（本机每天" + (*ppm >= 0 ? "快 " : "慢 ") +
           fixed(perDay, 3) + " 秒）";
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
