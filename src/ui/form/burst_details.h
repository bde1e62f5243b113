#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sntp/burst_evaluation.h"
#include "sntp/outcome.h"
#include "sntp/reply_record.h"
#include "ui/form/controls.h"

namespace korvel {

struct MainForm;

// How the details window draws a reply of each kind.
enum class MarkShape : std::uint8_t { Disc, Triangle, Square, Cross, Diamond, Ring };

struct MarkStyle {
    ReplyUse use;
    const char* caption;
    MarkShape shape;
    Rgb color;
};

// In the legend's order.
inline constexpr MarkStyle kReplyMarks[] = {
    {ReplyUse::Used, "采用", MarkShape::Disc, {0, 128, 0}},
    {ReplyUse::ExtremeOffset, "舍弃：时差最大或最小", MarkShape::Triangle, {224, 112, 0}},
    {ReplyUse::Slow, "舍弃：延迟最大", MarkShape::Square, {0, 64, 224}},
    {ReplyUse::Flagged, "服务器标明时间无效", MarkShape::Cross, {208, 0, 0}},
    {ReplyUse::Inconsistent, "与同一服务器的回复不符", MarkShape::Diamond, {144, 0, 160}},
    {ReplyUse::OutsideGroup, "服务器与其余服务器不符", MarkShape::Ring, {96, 96, 96}},
};

// The details window's fixed texts.
namespace details {
inline constexpr const char* kTitle = "测时详情";
inline constexpr const char* kBurstCaption = "上次测时：各回复的时差与往返延迟";
inline constexpr const char* kRunCaption = "本次运行测得的时差";
inline constexpr const char* kDelayAxis = "往返延迟（毫秒）";
inline constexpr const char* kOffsetAxis = "时差（秒）";
inline constexpr const char* kNoBurst = "尚未测时";
inline constexpr const char* kNoResult = "上次测时没有结果";
inline constexpr Rgb kMeanColor{208, 0, 0};
inline constexpr Rgb kRunColor{0, 64, 224};
inline constexpr Rgb kGridColor{216, 216, 216};
// The window's client area as it opens, in twips.
inline constexpr int kWidthTwips = 11400;
inline constexpr int kHeightTwips = 9000;
inline constexpr int kMarkRadius = 4;  // pixels at 96 dots per inch

struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// Where the window draws, in pixels: each plot with its caption line above it and its axis
// texts around it, the legend beside the last burst's plot.
struct Geometry {
    Box burstCaption;
    Box burstPlot;
    Box legend;
    Box runCaption;
    Box runPlot;
};

// For a client area of width × height whose text lines are lineHeight high, where the offset
// labels take labelWidth and the legend legendWidth.
Geometry geometry(int width, int height, int lineHeight, int labelWidth, int legendWidth);
}  // namespace details

// A plot axis: low to high in steps of 1, 2 or 5 times a power of ten, each step a tick.
struct Axis {
    double low = 0.0;
    double high = 1.0;
    double step = 1.0;
    int decimals = 0;  // what a tick's label needs

    std::vector<double> ticks() const;
    // Where the value lies: 0 at low, 1 at high.
    double fraction(double value) const;
    std::string label(double value) const;
};

// The axis of about `steps` steps that holds lowest..highest, spanning at least leastSpan.
Axis plotAxis(double lowest, double highest, double leastSpan, int steps = 5);

// One reply of the last burst.
struct BurstPoint {
    double delayMs = 0.0;
    double offsetSec = 0.0;
    ReplyUse use = ReplyUse::Used;
};

// One measured offset of this run. The segment counts the clock steps the program made before
// it: offsets on either side of a step do not compare.
struct RunPoint {
    double elapsedSec = 0.0;  // since the run's first measured offset
    double offsetSec = 0.0;
    int segment = 0;
};

// What the details window shows: the last burst's replies each with what the evaluation made of
// it, and the offsets measured while the program runs (in memory only) with the clock's drift.
class BurstDetails {
public:
    static constexpr std::size_t kMostRunPoints = 1000;

    BurstDetails() = default;
    // Fed with each outcome the form records; the form must outlive this object.
    explicit BurstDetails(MainForm& form);
    BurstDetails(const BurstDetails&) = delete;
    BurstDetails& operator=(const BurstDetails&) = delete;

    // An outcome: a burst's replies (records 1..result.counted in the evaluation's order) and,
    // when evaluated, its offset at the steady clock's reading; a step made by the program
    // starts a new segment.
    void record(Outcome outcome, const BurstResult& result, const ReplyRecords& records,
                std::int64_t steadyMs, std::vector<std::string> serverNotes = {});

    bool burstEnded() const { return m_burstEnded; }
    const std::vector<BurstPoint>& burstPoints() const { return m_burst; }
    std::optional<double> meanSec() const { return m_mean; }
    // Which name each address came from, which entries were one machine; shown after the legend.
    const std::vector<std::string>& serverNotes() const { return m_serverNotes; }
    int countOf(ReplyUse use) const;
    std::string legendText(const MarkStyle& mark) const;  // its caption and count
    std::string meanText() const;
    // The last burst's plot, or why there is none.
    std::string burstNotice() const;
    Axis delayAxis() const;
    Axis burstOffsetAxis() const;

    const std::deque<RunPoint>& runPoints() const { return m_run; }
    std::string driftText() const;
    // Minutes, or hours once the run is longer than three.
    double timeUnitSec() const;
    std::string timeAxisCaption() const;
    Axis timeAxis() const;  // in time units
    Axis runOffsetAxis() const;

    // After each recorded outcome that changed what is shown.
    Signal changed;

private:
    // Least-squares slope of the offsets within each segment, pooled, as the local clock's
    // gain in parts per million (positive: it runs fast); none without two points at different
    // times in one segment.
    std::optional<double> driftPpm() const;

    bool m_burstEnded = false;
    std::vector<BurstPoint> m_burst;
    std::optional<double> m_mean;
    std::vector<std::string> m_serverNotes;
    std::deque<RunPoint> m_run;
    std::optional<std::int64_t> m_originMs;
    int m_segment = 0;
    Connection m_feed;
};

}  // namespace korvel
