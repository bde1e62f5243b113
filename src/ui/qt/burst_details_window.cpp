#include "ui/qt/burst_details_window.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "ui/qt/fonts.h"
#include "ui/qt/twips.h"

namespace korvel {

namespace {

QColor qColor(Rgb color) {
    return {color.red, color.green, color.blue};
}

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QRect qRect(const details::Box& box) {
    return QRect(QPoint(box.left, box.top), QPoint(box.right, box.bottom));
}

// Maps axis values into a plot's box.
struct Plot {
    details::Box box;
    Axis x;
    Axis y;

    QPointF at(double xValue, double yValue) const {
        return {box.left + x.fraction(xValue) * (box.right - box.left),
                box.bottom - y.fraction(yValue) * (box.bottom - box.top)};
    }

    // The frame, a grid line and a label at each tick, and the axes' names.
    void drawAxes(QPainter& painter, const QString& xName, const QString& yName) const {
        const QFontMetrics metrics = painter.fontMetrics();
        const int line = metrics.height();
        painter.setPen(qColor(details::kGridColor));
        for (const double tick : x.ticks()) {
            painter.drawLine(at(tick, y.low), at(tick, y.high));
        }
        for (const double tick : y.ticks()) {
            painter.drawLine(at(x.low, tick), at(x.high, tick));
        }
        painter.setPen(Qt::black);
        painter.drawRect(qRect(box));
        for (const double tick : x.ticks()) {
            const QPointF point = at(tick, y.low);
            painter.drawText(QRectF(point.x() - 100, box.bottom + 2, 200, line),
                             Qt::AlignHCenter | Qt::AlignTop, text(x.label(tick)));
        }
        for (const double tick : y.ticks()) {
            const QPointF point = at(x.low, tick);
            painter.drawText(QRectF(0, point.y() - line / 2.0, box.left - 4, line),
                             Qt::AlignRight | Qt::AlignVCenter, text(y.label(tick)));
        }
        painter.drawText(QRect(box.left, box.bottom + line + 4, box.right - box.left, line),
                         Qt::AlignHCenter, xName);
        painter.drawText(QRect(box.left, box.top - line * 3 / 2, box.right - box.left, line),
                         Qt::AlignLeft, yName);
    }
};

void drawMark(QPainter& painter, const MarkStyle& mark, QPointF centre) {
    const double r = details::kMarkRadius;
    const QColor color = qColor(mark.color);
    painter.setPen(QPen(color, 1.5));
    painter.setBrush(color);
    switch (mark.shape) {
        case MarkShape::Disc:
            painter.drawEllipse(centre, r, r);
            break;
        case MarkShape::Ring:
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(centre, r, r);
            break;
        case MarkShape::Square:
            painter.drawRect(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r));
            break;
        case MarkShape::Triangle:
            painter.drawPolygon(QPolygonF(
                {centre + QPointF(0, -r), centre + QPointF(r, r), centre + QPointF(-r, r)}));
            break;
        case MarkShape::Diamond:
            painter.drawPolygon(QPolygonF({centre + QPointF(0, -r), centre + QPointF(r, 0),
                                           centre + QPointF(0, r), centre + QPointF(-r, 0)}));
            break;
        case MarkShape::Cross:
            painter.drawLine(centre + QPointF(-r, -r), centre + QPointF(r, r));
            painter.drawLine(centre + QPointF(-r, r), centre + QPointF(r, -r));
            break;
    }
    painter.setBrush(Qt::NoBrush);
}

const MarkStyle& markOf(ReplyUse use) {
    return *std::ranges::find(kReplyMarks, use, &MarkStyle::use);
}

}  // namespace

BurstDetailsWindow::BurstDetailsWindow(BurstDetails& model, QWidget* owner)
    : QWidget(owner, Qt::Window), m_details(model) {
    setObjectName(QStringLiteral("BurstDetails"));
    setWindowTitle(QString::fromUtf8(details::kTitle));
    setFont(designedFont(layout::kWindowFont));
    resize(twipsToPixels(details::kWidthTwips), twipsToPixels(details::kHeightTwips));
    m_changed = m_details.changed.connect([this] { update(); });
}

void BurstDetailsWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = painter.fontMetrics();
    const int line = metrics.height();

    const Axis delays = m_details.delayAxis();
    const Axis burstOffsets = m_details.burstOffsetAxis();
    const Axis times = m_details.timeAxis();
    const Axis runOffsets = m_details.runOffsetAxis();
    int labelWidth = 0;
    for (const Axis* axis : {&burstOffsets, &runOffsets}) {
        for (const double tick : axis->ticks()) {
            labelWidth = std::max(labelWidth, metrics.horizontalAdvance(text(axis->label(tick))));
        }
    }
    QStringList legend;
    for (const MarkStyle& mark : kReplyMarks) {
        legend << text(m_details.legendText(mark));
    }
    legend << text(m_details.meanText());
    for (const std::string& note : m_details.serverNotes()) {
        legend << text(note);
    }
    const int markSpace = 3 * details::kMarkRadius + 4;
    int legendWidth = 0;
    for (const QString& entry : legend) {
        legendWidth = std::max(legendWidth, markSpace + metrics.horizontalAdvance(entry));
    }
    const details::Geometry g = details::geometry(width(), height(), line, labelWidth, legendWidth);

    // The last burst.
    painter.setPen(Qt::black);
    painter.drawText(qRect(g.burstCaption), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromUtf8(details::kBurstCaption));
    const Plot burst{g.burstPlot, delays, burstOffsets};
    burst.drawAxes(painter, QString::fromUtf8(details::kDelayAxis),
                   QString::fromUtf8(details::kOffsetAxis));
    if (const std::string notice = m_details.burstNotice(); !notice.empty()) {
        painter.drawText(qRect(g.burstPlot), Qt::AlignCenter, text(notice));
    }
    if (const std::optional<double> mean = m_details.meanSec()) {
        painter.setPen(QPen(qColor(details::kMeanColor), 1, Qt::DashLine));
        painter.drawLine(burst.at(delays.low, *mean), burst.at(delays.high, *mean));
    }
    for (const BurstPoint& point : m_details.burstPoints()) {
        drawMark(painter, markOf(point.use), burst.at(point.delayMs, point.offsetSec));
    }
    for (int i = 0; i < legend.size(); ++i) {
        const int top = g.legend.top + i * (line + 4);
        const QPointF centre(g.legend.left + details::kMarkRadius + 1, top + line / 2.0);
        if (i < static_cast<int>(std::size(kReplyMarks))) {
            drawMark(painter, kReplyMarks[i], centre);
        } else if (i == static_cast<int>(std::size(kReplyMarks)) && !legend[i].isEmpty()) {
            painter.setPen(QPen(qColor(details::kMeanColor), 1, Qt::DashLine));
            painter.drawLine(centre - QPointF(details::kMarkRadius, 0),
                             centre + QPointF(2 * details::kMarkRadius, 0));
        }
        painter.setPen(Qt::black);
        painter.drawText(QRect(g.legend.left + markSpace, top, legendWidth, line),
                         Qt::AlignLeft | Qt::AlignVCenter, legend[i]);
    }
    m_shownLegend = legend;

    // This run.
    painter.drawText(qRect(g.runCaption), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromUtf8(details::kRunCaption));
    painter.drawText(qRect(g.runCaption), Qt::AlignRight | Qt::AlignVCenter,
                     text(m_details.driftText()));
    const Plot run{g.runPlot, times, runOffsets};
    run.drawAxes(painter, text(m_details.timeAxisCaption()),
                 QString::fromUtf8(details::kOffsetAxis));
    const double unit = m_details.timeUnitSec();
    const std::deque<RunPoint>& points = m_details.runPoints();
    if (points.empty()) {
        painter.drawText(qRect(g.runPlot), Qt::AlignCenter, QString::fromUtf8(details::kNoBurst));
    }
    const QColor runColor = qColor(details::kRunColor);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QPointF here = run.at(points[i].elapsedSec / unit, points[i].offsetSec);
        if (i > 0 && points[i - 1].segment == points[i].segment) {
            painter.setPen(QPen(runColor, 1));
            painter.drawLine(run.at(points[i - 1].elapsedSec / unit, points[i - 1].offsetSec),
                             here);
        } else if (i > 0) {
            // The program stepped the clock here.
            painter.setPen(QPen(Qt::gray, 1, Qt::DashLine));
            painter.drawLine(QPointF(here.x(), g.runPlot.top), QPointF(here.x(), g.runPlot.bottom));
        }
        painter.setPen(runColor);
        painter.setBrush(runColor);
        painter.drawEllipse(here, details::kMarkRadius - 1.0, details::kMarkRadius - 1.0);
        painter.setBrush(Qt::NoBrush);
    }
}

void BurstDetailsWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace korvel
