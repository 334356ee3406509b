// The plots of a chart picture: bars and columns (clustered, stacked, percent), lines with
// markers, areas, scatter, radar, pies and doughnuts, each series in its own colours or the
// palette's automatic ones, and the data labels.

#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <tuple>

#include "office/graph/picture/chart_painter.h"

namespace office::graph::picture {

namespace {

using msgraph::Grouping;
using msgraph::Kind;
using msgraph::Marker;
using msgraph::Paint;

constexpr double kEmuPerPoint = 12700;
constexpr double kOutline = 0.5;      // points: Graph's hairline round bars and slices
constexpr double kSeriesLine = 2.25;  // points: an automatic line series
// Graph's symbols for the automatic markers of the series in turn.
constexpr std::array<Marker::Symbol, 7> kAutomaticSymbols = {
    Marker::Symbol::Diamond, Marker::Symbol::Square, Marker::Symbol::Triangle, Marker::Symbol::X,
    Marker::Symbol::Star,    Marker::Symbol::Circle, Marker::Symbol::Plus};

Qt::PenStyle penStyle(Paint::Dash dash) {
    switch (dash) {
        case Paint::Dash::Solid:
            return Qt::SolidLine;
        case Paint::Dash::Dash:
            return Qt::DashLine;
        case Paint::Dash::Dot:
            return Qt::DotLine;
        case Paint::Dash::DashDot:
            return Qt::DashDotLine;
        case Paint::Dash::DashDotDot:
            return Qt::DashDotDotLine;
    }
    return Qt::SolidLine;
}

std::size_t at(int index) {
    return static_cast<std::size_t>(index);
}

}  // namespace

bool ChartPainter::isPieKind() const {
    return look_.kind == Kind::Pie || look_.kind == Kind::Doughnut;
}

bool ChartPainter::outsideLabels() const {
    const auto position = look_.labels.position;
    return look_.kind == Kind::Pie && (position == msgraph::LabelPosition::OutsideEnd ||
                                       position == msgraph::LabelPosition::BestFit);
}

bool ChartPainter::isLineKind() const {
    return look_.kind == Kind::Line || look_.kind == Kind::Scatter || look_.kind == Kind::Radar;
}

// ---- looks ------------------------------------------------------------------------------------

const msgraph::SeriesFormat& ChartPainter::format(int series) const {
    static const msgraph::SeriesFormat automatic;
    return series >= 0 && series < static_cast<int>(look_.series.size()) ? look_.series[at(series)]
                                                                         : automatic;
}

const msgraph::PointFormat* ChartPainter::pointFormat(int series, int point) const {
    const auto& points = format(series).points;
    const auto it = points.find(point);
    return point < 0 || it == points.end() ? nullptr : &it->second;
}

QPen ChartPainter::pen(const Paint& paint, QColor automatic, double automaticPoints) const {
    if (paint.mode == Paint::Mode::None) {
        return QPen(Qt::NoPen);
    }
    if (paint.mode == Paint::Mode::Automatic) {
        return QPen(automatic, std::max(1.0, px(automaticPoints)));
    }
    const double points = paint.width > 0 ? paint.width / kEmuPerPoint : 0.75;
    QPen made(colorOf(paint.color), std::max(1.0, px(std::min(points, 20.0))));
    made.setStyle(penStyle(paint.dash));
    return made;
}

// A bar's, slice's or area's inside: its point's own fill, else (one colour per point) the
// palette's colour for the point, else the series' fill.
QBrush ChartPainter::fillOf(int series, int point) const {
    const bool perPoint = point >= 0 && (look_.varyColors || isPieKind());
    const msgraph::PointFormat* own = pointFormat(series, point);
    const Paint fill = own && own->fill ? *own->fill : perPoint ? Paint{} : format(series).fill;
    if (fill.mode == Paint::Mode::None) {
        return QBrush(Qt::NoBrush);
    }
    const msgraph::Rgb automatic = chart_.automaticFill(perPoint ? point : series);
    return QBrush(colorOf(fill.mode == Paint::Mode::Explicit ? fill.color : automatic));
}

QPen ChartPainter::outlineOf(int series, int point) const {
    const msgraph::PointFormat* own = pointFormat(series, point);
    const Paint line = own && own->line ? *own->line : format(series).line;
    return pen(line, Qt::black, kOutline);
}

QPen ChartPainter::lineOf(int series) const {
    QPen line = pen(format(series).line, colorOf(chart_.automaticLine(series)), kSeriesLine);
    line.setJoinStyle(Qt::RoundJoin);
    line.setCapStyle(Qt::RoundCap);
    return line;
}

// The point's marker, else the series', else Graph's automatic one: the series' colour and its
// symbol in turn (none on a radar chart).
Marker ChartPainter::markerOf(int series, int point) const {
    const msgraph::PointFormat* own = pointFormat(series, point);
    if (own && own->marker) {
        return *own->marker;
    }
    if (format(series).marker) {
        Marker m = *format(series).marker;
        if (m.automatic) {
            m.symbol = kAutomaticSymbols[at(series) % kAutomaticSymbols.size()];
        }
        return m;
    }
    Marker m;
    m.symbol = look_.kind == Kind::Radar
                   ? Marker::Symbol::None
                   : kAutomaticSymbols[at(std::max(series, 0)) % kAutomaticSymbols.size()];
    return m;
}

void ChartPainter::drawMarker(QPointF c, const Marker& m, QColor automatic) {
    if (m.symbol == Marker::Symbol::None) {
        return;
    }
    const double r = px(std::clamp(m.size, 2, 72)) / 2;
    const QColor line = m.automatic ? automatic : colorOf(m.line);
    const QColor fill = m.automatic ? automatic : colorOf(m.fill);
    painter_.setPen(m.noLine && !m.automatic ? QPen(Qt::NoPen)
                                             : QPen(line, std::max(1.0, px(0.75))));
    painter_.setBrush(m.noFill && !m.automatic ? QBrush(Qt::NoBrush) : QBrush(fill));
    switch (m.symbol) {
        case Marker::Symbol::None:
            return;
        case Marker::Symbol::Square:
            painter_.drawRect(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r));
            return;
        case Marker::Symbol::Diamond:
            painter_.drawPolygon(QPolygonF(
                {c + QPointF(0, -r), c + QPointF(r, 0), c + QPointF(0, r), c + QPointF(-r, 0)}));
            return;
        case Marker::Symbol::Triangle:
            painter_.drawPolygon(
                QPolygonF({c + QPointF(0, -r), c + QPointF(r, r), c + QPointF(-r, r)}));
            return;
        case Marker::Symbol::Circle:
            painter_.drawEllipse(c, r, r);
            return;
        case Marker::Symbol::DowJones:
        case Marker::Symbol::StdDev:
            painter_.setPen(QPen(line, std::max(1.0, px(1.5))));
            painter_.drawLine(c - QPointF(r, 0), c + QPointF(r, 0));
            return;
        case Marker::Symbol::X:
        case Marker::Symbol::Star:
        case Marker::Symbol::Plus:
            break;
    }
    painter_.setPen(QPen(line, std::max(1.0, px(1))));
    if (m.symbol != Marker::Symbol::Plus) {
        painter_.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
        painter_.drawLine(c + QPointF(-r, r), c + QPointF(r, -r));
    }
    if (m.symbol != Marker::Symbol::X) {
        painter_.drawLine(c - QPointF(r, 0), c + QPointF(r, 0));
        painter_.drawLine(c - QPointF(0, r), c + QPointF(0, r));
    }
}

// ---- data labels ------------------------------------------------------------------------------

QString ChartPainter::dataLabelText(int series, int point) const {
    const msgraph::DataLabels& l = look_.labels;
    const SeriesData& s = data_.series[at(series)];
    const std::optional<double> value = s.values[at(point)];
    QStringList parts;
    if (l.seriesName) {
        parts << QString::fromStdString(s.name);
    }
    if (l.category) {
        parts << QString::fromStdString(data_.categories[at(point)]);
    }
    if (l.value && value) {
        parts << shown(*value, s.formats[at(point)]);
    }
    if (l.percent && isPieKind() && value) {
        double total = 0;
        for (const auto& v : s.values) {
            total += v && *v > 0 ? *v : 0;
        }
        parts << shown(total > 0 ? *value / total : 0, "0%");
    }
    return parts.join(' ');
}

FontLook ChartPainter::dataLabelFont() const {
    const msgraph::TextLook& fallback = look_.axesFont.known ? look_.axesFont : look_.font;
    return fontOf(look_.labelsFont, fallback, 10, false);
}

void ChartPainter::drawDataLabel(int series, int point, QPointF where, LabelPlace place,
                                 QPointF direction) {
    if (!look_.labels.any() || !withText_) {
        return;
    }
    const QString label = dataLabelText(series, point);
    const FontLook font = dataLabelFont();
    const QSizeF size = measure(label, font);
    QRectF box(where.x() - size.width() / 2, where.y() - size.height() / 2, size.width(),
               size.height());
    if (place == LabelPlace::Above) {
        box.moveBottom(where.y() - px(2));
    } else if (place == LabelPlace::Right) {
        box.moveLeft(where.x() + px(3));
    } else if (place == LabelPlace::Outward) {
        // The side of the box that faces the point touches it.
        box.translate(direction.x() * size.width() / 2, direction.y() * size.height() / 2);
    }
    text(box, Qt::AlignCenter, label, font);
}

// ---- bars, lines, areas -----------------------------------------------------------------------

std::vector<std::vector<std::pair<double, double>>> ChartPainter::stackedSpans() const {
    const int categories = data_.categoryCount();
    std::vector<double> totals(at(categories), 0);
    for (const SeriesData& s : data_.series) {
        for (int c = 0; c < categories; ++c) {
            totals[at(c)] += std::abs(s.values[at(c)].value_or(0));
        }
    }
    const bool percent = look_.grouping == Grouping::Percent;
    std::vector<double> up(at(categories), 0);
    std::vector<double> down(at(categories), 0);
    std::vector<std::vector<std::pair<double, double>>> spans;
    for (const SeriesData& s : data_.series) {
        auto& row = spans.emplace_back();
        for (int c = 0; c < categories; ++c) {
            double v = s.values[at(c)].value_or(0);
            if (percent) {
                v = totals[at(c)] > 0 ? v / totals[at(c)] : 0;
            }
            double& edge = v < 0 ? down[at(c)] : up[at(c)];
            row.emplace_back(edge, edge + v);
            edge += v;
        }
    }
    return spans;
}

void ChartPainter::drawBars(const Cartesian& c, double base) {
    const int n = std::max(1, data_.seriesCount());
    const double gap = std::clamp(look_.gapWidth, 0, 500) / 100.0;
    const bool standard = look_.grouping == Grouping::Standard;
    const double overlap = standard ? std::clamp(look_.overlap, -100, 100) / 100.0 : 1.0;
    const double width = 1 / (1 + (n - 1) * (1 - overlap) + gap);
    const double step = width * (1 - overlap);
    const double start = gap * width / 2;
    const auto spans = standard ? decltype(stackedSpans()){} : stackedSpans();
    // Labels go on top of every bar, drawn once all bars stand.
    std::vector<std::tuple<int, int, QPointF>> labels;
    for (int s = 0; s < data_.seriesCount(); ++s) {
        for (int p = 0; p < data_.categoryCount(); ++p) {
            const auto& value = data_.series[at(s)].values[at(p)];
            if (!value) {
                continue;
            }
            const double from = standard ? base : spans[at(s)][at(p)].first;
            const double to = standard ? *value : spans[at(s)][at(p)].second;
            const double left = p + start + s * step;
            painter_.setBrush(fillOf(s, p));
            painter_.setPen(outlineOf(s, p));
            painter_.drawRect(c.rect(left, left + width, from, to));
            const double middle = left + width / 2;
            labels.push_back(
                {s, p, standard ? c.point(middle, to) : c.point(middle, (from + to) / 2)});
        }
    }
    const LabelPlace place = !standard      ? LabelPlace::Centre
                             : c.horizontal ? LabelPlace::Right
                                            : LabelPlace::Above;
    for (const auto& [s, p, where] : labels) {
        drawDataLabel(s, p, where, place);
    }
}

void ChartPainter::drawLines(const Cartesian& c) {
    const bool standard = look_.grouping == Grouping::Standard;
    const auto spans = standard ? decltype(stackedSpans()){} : stackedSpans();
    for (int s = 0; s < data_.seriesCount(); ++s) {
        const SeriesData& series = data_.series[at(s)];
        std::vector<QPolygonF> runs(1);
        std::vector<std::pair<int, QPointF>> points;
        for (int p = 0; p < data_.categoryCount(); ++p) {
            if (!series.values[at(p)]) {
                if (!runs.back().isEmpty()) {
                    runs.emplace_back();
                }
                continue;
            }
            const double v = standard ? *series.values[at(p)] : spans[at(s)][at(p)].second;
            const QPointF point = c.point(p + 0.5, v);
            runs.back() << point;
            points.emplace_back(p, point);
        }
        painter_.setPen(lineOf(s));
        painter_.setBrush(Qt::NoBrush);
        for (const QPolygonF& run : runs) {
            painter_.drawPolyline(run);
        }
        const QColor automatic = colorOf(chart_.automaticLine(s));
        for (const auto& [p, point] : points) {
            drawMarker(point, markerOf(s, p), automatic);
        }
        for (const auto& [p, point] : points) {
            drawDataLabel(s, p, point, LabelPlace::Above);
        }
    }
}

void ChartPainter::drawAreas(const Cartesian& c, double base) {
    const bool standard = look_.grouping == Grouping::Standard;
    const auto spans = stackedSpans();
    for (int s = 0; s < data_.seriesCount(); ++s) {
        QPolygonF shape;
        const int count = data_.categoryCount();
        for (int p = 0; p < count; ++p) {
            const double v = standard ? data_.series[at(s)].values[at(p)].value_or(base)
                                      : spans[at(s)][at(p)].second;
            shape << c.point(p, v);
        }
        for (int p = count - 1; p >= 0; --p) {
            shape << c.point(p, standard ? base : spans[at(s)][at(p)].first);
        }
        painter_.setBrush(fillOf(s, -1));
        painter_.setPen(outlineOf(s, -1));
        painter_.drawPolygon(shape);
        for (int p = 0; p < count; ++p) {
            if (data_.series[at(s)].values[at(p)]) {
                drawDataLabel(s, p, shape[p], LabelPlace::Above);
            }
        }
    }
}

// ---- scatter and radar ------------------------------------------------------------------------

void ChartPainter::drawScatter(const QRectF& area) {
    // x: the category cells' numbers where every one is a number, else 1, 2, 3...
    const bool numeric = std::all_of(data_.numbers.begin(), data_.numbers.end(),
                                     [](const auto& v) { return v.has_value(); });
    std::vector<double> xs;
    for (int p = 0; p < data_.categoryCount(); ++p) {
        xs.push_back(numeric ? *data_.numbers[at(p)] : p + 1);
    }
    const auto [xLow, xHigh] = xs.empty() ? std::pair(0.0, 1.0)
                                          : std::pair(*std::min_element(xs.begin(), xs.end()),
                                                      *std::max_element(xs.begin(), xs.end()));
    const ValueScale xScale = valueScale(xLow, xHigh, look_.categoryAxis.scaling);
    const auto [low, high] = valueRange();
    const ValueScale yScale = valueScale(low, high, look_.valueAxis.scaling);
    const std::vector<QString> yLabels = tickLabels(yScale, valueAxisFormat());
    const std::vector<QString> xLabels =
        tickLabels(xScale, look_.categoryAxis.numberFormat.value_or("General"));
    const FontLook xFont = axisFont(look_.categoryAxis);
    const FontLook yFont = axisFont(look_.valueAxis);
    double yWidth = 0;
    for (const QString& label : yLabels) {
        yWidth = std::max(yWidth, measure(label, yFont).width());
    }
    const double lineHeight = measure("0", xFont).height();
    const double tick = px(5);
    const QRectF plot = area.adjusted(yWidth + tick, measure("0", yFont).height() / 2, -lineHeight,
                                      -(lineHeight + tick));
    if (plot.width() < 1 || plot.height() < 1) {
        return;
    }
    auto place = [&](double x, double y) {
        return QPointF(plot.left() + std::clamp(xScale.position(x), -0.05, 1.05) * plot.width(),
                       plot.bottom() - std::clamp(yScale.position(y), -0.05, 1.05) * plot.height());
    };
    const QPen axisPen(Qt::black, std::max(1.0, px(0.75)));
    const std::vector<double> xTicks = xScale.ticks();
    const std::vector<double> yTicks = yScale.ticks();
    for (std::size_t i = 0; i < yTicks.size(); ++i) {
        const double y = place(xScale.min, yTicks[i]).y();
        painter_.setPen(axisPen);
        if (look_.valueAxis.majorGridlines) {
            painter_.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
        text(QRectF(plot.left() - tick - yWidth, y - lineHeight / 2, yWidth, lineHeight),
             Qt::AlignRight | Qt::AlignVCenter, yLabels[i], yFont);
    }
    for (std::size_t i = 0; i < xTicks.size(); ++i) {
        const double x = place(xTicks[i], yScale.min).x();
        painter_.setPen(axisPen);
        if (look_.categoryAxis.majorGridlines) {
            painter_.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        }
        text(QRectF(x - 50 * lineHeight, plot.bottom() + tick, 100 * lineHeight, lineHeight),
             Qt::AlignHCenter | Qt::AlignTop, xLabels[i], xFont);
    }
    painter_.setPen(axisPen);
    painter_.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter_.drawLine(plot.bottomLeft(), plot.topLeft());
    for (int s = 0; s < data_.seriesCount(); ++s) {
        const SeriesData& series = data_.series[at(s)];
        QPolygonF line;
        for (int p = 0; p < data_.categoryCount(); ++p) {
            if (series.values[at(p)]) {
                line << place(xs[at(p)], *series.values[at(p)]);
            }
        }
        if (format(s).line.mode == Paint::Mode::Explicit) {
            painter_.setPen(lineOf(s));
            painter_.setBrush(Qt::NoBrush);
            painter_.drawPolyline(line);
        }
        int k = 0;
        for (int p = 0; p < data_.categoryCount(); ++p) {
            if (series.values[at(p)]) {
                drawMarker(line[k], markerOf(s, p), colorOf(chart_.automaticLine(s)));
                drawDataLabel(s, p, line[k++], LabelPlace::Above);
            }
        }
    }
}

void ChartPainter::drawRadar(const QRectF& area) {
    const int n = std::max(1, data_.categoryCount());
    const FontLook font = axisFont(look_.categoryAxis);
    const double lineHeight = measure("Xg", font).height();
    double widest = 0;
    for (const std::string& name : data_.categories) {
        widest = std::max(widest, measure(QString::fromStdString(name), font).width());
    }
    const double radius =
        std::min(area.width() / 2 - widest - px(4), area.height() / 2 - lineHeight - px(4));
    if (radius < 2) {
        return;
    }
    const QPointF centre = area.center();
    const auto [low, high] = valueRange();
    const ValueScale scale = valueScale(low, high, look_.valueAxis.scaling);
    auto place = [&](int p, double v) {
        const double angle = -std::numbers::pi / 2 + 2 * std::numbers::pi * p / n;
        const double r = std::clamp(scale.position(v), 0.0, 1.05) * radius;
        return centre + QPointF(std::cos(angle) * r, std::sin(angle) * r);
    };
    const QPen axisPen(Qt::black, std::max(1.0, px(0.75)));
    painter_.setPen(axisPen);
    painter_.setBrush(Qt::NoBrush);
    for (int p = 0; p < n; ++p) {
        const QPointF end = place(p, scale.max);
        painter_.drawLine(centre, end);
        if (p < data_.categoryCount()) {
            const QPointF out = centre + (end - centre) * (1 + px(4) / radius);
            const double w = measure(QString::fromStdString(data_.categories[at(p)]), font).width();
            const double dx = out.x() < centre.x() - 1 ? -w : out.x() > centre.x() + 1 ? 0 : -w / 2;
            const double dy = out.y() < centre.y() - 1   ? -lineHeight
                              : out.y() > centre.y() + 1 ? 0
                                                         : -lineHeight / 2;
            text(QRectF(out.x() + dx, out.y() + dy, w, lineHeight), Qt::AlignCenter,
                 QString::fromStdString(data_.categories[at(p)]), font);
            painter_.setPen(axisPen);
        }
    }
    const std::vector<double> ticks = scale.ticks();
    const std::vector<QString> labels = tickLabels(scale, valueAxisFormat());
    const FontLook valueFont = axisFont(look_.valueAxis);
    // Every label where they fit one above the other, else every second...
    const double spacing = ticks.size() > 1 ? radius / (ticks.size() - 1) : radius;
    const auto every =
        static_cast<std::size_t>(std::clamp(std::ceil(lineHeight / spacing), 1.0, 1e6));
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        if (look_.valueAxis.majorGridlines) {
            QPolygonF ring;
            for (int p = 0; p < n; ++p) {
                ring << place(p, ticks[i]);
            }
            painter_.setPen(axisPen);
            painter_.drawPolygon(ring);
        }
        if (i % every != 0) {
            continue;
        }
        const QPointF at0 = place(0, ticks[i]);
        const double w = measure(labels[i], valueFont).width();
        text(QRectF(at0.x() - w - px(3), at0.y() - lineHeight / 2, w, lineHeight),
             Qt::AlignRight | Qt::AlignVCenter, labels[i], valueFont);
    }
    for (int s = 0; s < data_.seriesCount(); ++s) {
        QPolygonF shape;
        for (int p = 0; p < data_.categoryCount(); ++p) {
            shape << place(p, data_.series[at(s)].values[at(p)].value_or(scale.min));
        }
        if (look_.kind == Kind::FilledRadar) {
            painter_.setBrush(fillOf(s, -1));
            painter_.setPen(outlineOf(s, -1));
        } else {
            painter_.setBrush(Qt::NoBrush);
            painter_.setPen(lineOf(s));
        }
        painter_.drawPolygon(shape);
        for (int p = 0; p < shape.size(); ++p) {
            drawMarker(shape[p], markerOf(s, p), colorOf(chart_.automaticLine(s)));
            drawDataLabel(s, p, shape[p], LabelPlace::Above);
        }
    }
}

// ---- pies and doughnuts -----------------------------------------------------------------------

void ChartPainter::drawPie(const QRectF& area) {
    const bool doughnut = look_.kind == Kind::Doughnut;
    const int rings = doughnut ? data_.seriesCount() : std::min(1, data_.seriesCount());
    if (rings == 0) {
        return;
    }
    // Slices moved out from the centre take room: the pie shrinks to keep them inside.
    int explosion = 0;
    for (int s = 0; s < rings; ++s) {
        explosion = std::max(explosion, format(s).explosion);
        for (const auto& [p, own] : format(s).points) {
            explosion = std::max(explosion, own.explosion.value_or(0));
        }
    }
    explosion = std::clamp(explosion, 0, 400);
    double room = std::min(area.width(), area.height()) / 2;
    if (withText_ && look_.labels.any() && outsideLabels()) {
        // Labels outside the slices take a line's height and a margin all round.
        room = std::max(room / 2, room - measure("0", dataLabelFont()).height() - px(4));
    }
    const double outer = room / (1 + explosion / 100.0);
    const double hole = doughnut ? outer * std::clamp(look_.holeSize, 10, 90) / 100.0 : 0;
    const double thickness = (outer - hole) / rings;
    const QPointF centre = area.center();
    // Drawn over every slice: series, point, place and the slice's direction.
    std::vector<std::tuple<int, int, std::pair<QPointF, LabelPlace>, QPointF>> labels;
    for (int s = 0; s < rings; ++s) {
        const SeriesData& series = data_.series[at(s)];
        double total = 0;
        for (const auto& v : series.values) {
            total += v && *v > 0 ? *v : 0;
        }
        if (total <= 0) {
            continue;
        }
        const double inner = hole + s * thickness;
        const double r = inner + thickness;
        // Graph measures the first slice's angle clockwise from twelve o'clock; Qt's angles go
        // anticlockwise from three.
        double angle = 90.0 - look_.firstSliceAngle % 360;
        for (int p = 0; p < data_.categoryCount(); ++p) {
            const double v = series.values[at(p)].value_or(0);
            if (v <= 0) {
                continue;
            }
            const double span = -360.0 * v / total;
            const double middle = (angle + span / 2) * std::numbers::pi / 180;
            const msgraph::PointFormat* own = pointFormat(s, p);
            const int out = own && own->explosion ? *own->explosion : format(s).explosion;
            const QPointF direction(std::cos(middle), -std::sin(middle));
            const QPointF c = centre + direction * (r * std::clamp(out, 0, 400) / 100.0);
            QPainterPath path;
            const QRectF outerBox(c.x() - r, c.y() - r, 2 * r, 2 * r);
            path.arcMoveTo(outerBox, angle);
            path.arcTo(outerBox, angle, span);
            if (inner > 0) {
                const QRectF innerBox(c.x() - inner, c.y() - inner, 2 * inner, 2 * inner);
                path.arcTo(innerBox, angle + span, -span);
            } else {
                path.lineTo(c);
            }
            path.closeSubpath();
            painter_.setBrush(fillOf(s, p));
            painter_.setPen(outlineOf(s, p));
            painter_.drawPath(path);
            labels.push_back({s, p, sliceLabel(s, p, c, direction, inner, r, span), direction});
            angle += span;
        }
    }
    for (const auto& [s, p, place, direction] : labels) {
        drawDataLabel(s, p, place.first, place.second, direction);
    }
}

std::pair<QPointF, ChartPainter::LabelPlace> ChartPainter::sliceLabel(int series, int point,
                                                                      QPointF centre,
                                                                      QPointF direction,
                                                                      double inner, double outer,
                                                                      double span) const {
    using msgraph::LabelPosition;
    // A doughnut's rings hold their labels in their middles.
    const LabelPosition position =
        look_.kind == Kind::Pie ? look_.labels.position : LabelPosition::Centre;
    const double middle = inner > 0 ? (inner + outer) / 2 : outer * 0.65;
    const QPointF outside = centre + direction * (outer + px(3));
    if (position == LabelPosition::OutsideEnd) {
        return {outside, LabelPlace::Outward};
    }
    if (position == LabelPosition::InsideEnd) {
        return {centre + direction * std::max(middle, outer * 0.8), LabelPlace::Centre};
    }
    if (position != LabelPosition::BestFit) {
        return {centre + direction * middle, LabelPlace::Centre};
    }
    // Best fit: inside where the label fits in the slice across its middle, else outside.
    const QSizeF size = measure(dataLabelText(series, point), dataLabelFont());
    const double halfAngle = std::min(std::abs(span), 180.0) / 2 * std::numbers::pi / 180;
    const double across = 2 * middle * std::sin(halfAngle);
    const bool fits = size.width() <= across && size.height() <= outer - inner &&
                      std::hypot(size.width(), size.height()) / 2 <= outer - middle + px(2);
    return fits ? std::pair{centre + direction * middle, LabelPlace::Centre}
                : std::pair{outside, LabelPlace::Outward};
}

}  // namespace office::graph::picture
