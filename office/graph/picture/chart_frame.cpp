// The frame of a chart picture: the chart area, the title, the legend, and the axes of bar,
// line and area charts with their tick labels and gridlines; fonts and colours as Graph gives
// them where the look says nothing.

#include <QFont>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

#include "office/excel/number_format.h"
#include "office/graph/picture/chart_painter.h"

namespace office::graph::picture {

namespace {

using msgraph::Kind;
using msgraph::LegendPosition;
using msgraph::Paint;

constexpr double kMargin = 6;      // points between the chart area's edge and its contents
constexpr double kGap = 5;         // points between title, legend and plot
constexpr double kTickLength = 3;  // points
constexpr double kThinLine = 0.75;

QFont qfont(const FontLook& look, double pixelsPerPoint) {
    QFont font(QString::fromStdString(look.family));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(look.points * pixelsPerPoint))));
    font.setBold(look.bold);
    font.setItalic(look.italic);
    return font;
}

}  // namespace

QColor colorOf(msgraph::Rgb rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

double Cartesian::categoryAt(double t) const {
    const double f = (reversed ? bands - t : t) / std::max(bands, 1);
    return horizontal ? plot.bottom() - f * plot.height() : plot.left() + f * plot.width();
}

double Cartesian::valueAt(double value) const {
    const double f = std::clamp(scale.position(value), -0.05, 1.05);
    return horizontal ? plot.left() + f * plot.width() : plot.bottom() - f * plot.height();
}

QPointF Cartesian::point(double category, double value) const {
    const double along = categoryAt(category);
    const double across = valueAt(value);
    return horizontal ? QPointF(across, along) : QPointF(along, across);
}

QRectF Cartesian::rect(double category0, double category1, double value0, double value1) const {
    return QRectF(point(category0, value0), point(category1, value1)).normalized();
}

ChartPainter::ChartPainter(QPainter& painter, const msgraph::GraphChart& chart,
                           const ChartData& data, double pixelsPerPoint, bool withText)
    : painter_(painter),
      chart_(chart),
      look_(chart.look),
      data_(data),
      scale_(pixelsPerPoint),
      withText_(withText) {}

void ChartPainter::draw(const QRectF& area) {
    // Graph's font sizes hold for the chart's own size; a frame of another size scales them by
    // the smaller of its two ratios, so that the texts keep to the frame either way.
    if (look_.widthPoints > 0 && look_.heightPoints > 0) {
        textScale_ = std::clamp(
            std::min(area.width() / px(look_.widthPoints), area.height() / px(look_.heightPoints)),
            0.05, 20.0);
    }
    const msgraph::Box& box = look_.chartArea;
    if (box.fill && box.fill->mode == Paint::Mode::Explicit) {
        painter_.fillRect(area, colorOf(box.fill->color));
    }
    if (box.line && box.line->mode != Paint::Mode::None) {
        painter_.setPen(pen(*box.line, Qt::black, kThinLine));
        painter_.setBrush(Qt::NoBrush);
        const double inset = painter_.pen().widthF() / 2;
        painter_.drawRect(area.adjusted(inset, inset, -inset, -inset));
    }
    QRectF inner = area.adjusted(px(kMargin), px(kMargin), -px(kMargin), -px(kMargin));
    inner = drawTitle(inner);
    inner = drawLegend(inner);
    if (inner.width() < 1 || inner.height() < 1) {
        return;
    }
    switch (look_.kind) {
        case Kind::Pie:
        case Kind::Doughnut:
            drawPie(inner);
            return;
        case Kind::Radar:
        case Kind::FilledRadar:
            drawRadar(inner);
            return;
        case Kind::Scatter:
            drawScatter(inner);
            return;
        case Kind::Bar:
        case Kind::Line:
        case Kind::Area:
            drawCartesianChart(inner);
            return;
    }
}

// ---- text -------------------------------------------------------------------------------------

FontLook ChartPainter::fontOf(const msgraph::TextLook& own, const msgraph::TextLook& fallback,
                              double points, bool bold) const {
    // A text's own font replaces the chart's; a colour alone (tick labels) only recolours it.
    const msgraph::TextLook* look = own.known && (own.family || own.size) ? &own
                                    : fallback.known                      ? &fallback
                                                                          : nullptr;
    FontLook font;
    font.points = points;
    font.bold = bold;
    if (look) {
        if (look->family && !look->family->empty()) {
            font.family = *look->family;
        }
        if (look->size && *look->size > 0) {
            font.points = std::clamp(*look->size / 100.0, 1.0, 400.0);
        }
        font.bold = look->bold;
        font.italic = look->italic;
        if (look->color) {
            font.color = colorOf(*look->color);
        }
    }
    if (own.known && own.color) {
        font.color = colorOf(*own.color);
    }
    font.points *= textScale_;
    return font;
}

FontLook ChartPainter::axisFont(const msgraph::Axis& axis) const {
    const msgraph::TextLook& fallback = look_.axesFont.known ? look_.axesFont : look_.font;
    return fontOf(axis.font, fallback, 10, false);
}

QSizeF ChartPainter::measure(const QString& text, const FontLook& font) const {
    if (!withText_ || text.isEmpty()) {
        return {0, 0};
    }
    const QFontMetricsF metrics(qfont(font, scale_));
    return {metrics.horizontalAdvance(text), metrics.height()};
}

void ChartPainter::text(const QRectF& box, int flags, const QString& text, const FontLook& font) {
    if (!withText_ || text.isEmpty()) {
        return;
    }
    painter_.setFont(qfont(font, scale_));
    painter_.setPen(font.color);
    painter_.drawText(box, flags | Qt::TextDontClip, text);
}

QString ChartPainter::elided(const QString& text, const FontLook& font, double width) const {
    if (!withText_) {
        return text;
    }
    return QFontMetricsF(qfont(font, scale_)).elidedText(text, Qt::ElideRight, width);
}

QString ChartPainter::shown(double value, const std::string& format) const {
    return QString::fromStdString(excel::detail::formatValue(Value::number(value), format));
}

// ---- title and legend -------------------------------------------------------------------------

QRectF ChartPainter::drawTitle(QRectF area) {
    if (!look_.title || look_.title->empty()) {
        return area;
    }
    const FontLook font = fontOf(look_.titleFont, look_.font, 12, true);
    const QString caption = QString::fromStdString(*look_.title);
    if (!withText_) {
        return area;
    }
    const QFontMetricsF metrics(qfont(font, scale_));
    const QRectF bounds = metrics.boundingRect(area, Qt::AlignHCenter | Qt::TextWordWrap, caption);
    text(QRectF(area.left(), area.top(), area.width(), bounds.height()),
         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, caption, font);
    area.setTop(area.top() + bounds.height() + px(kGap));
    return area;
}

std::vector<LegendEntry> ChartPainter::legendEntries() const {
    std::vector<LegendEntry> entries;
    const bool perPoint = isPieKind() || (look_.varyColors && data_.seriesCount() == 1);
    if (perPoint) {
        for (int i = 0; i < data_.categoryCount(); ++i) {
            entries.push_back({QString::fromStdString(data_.categories[static_cast<size_t>(i)]),
                               fillOf(0, i),
                               outlineOf(0, i),
                               msgraph::Marker::Symbol::None,
                               {}});
        }
        return entries;
    }
    for (int s = 0; s < data_.seriesCount(); ++s) {
        LegendEntry entry{QString::fromStdString(data_.series[static_cast<size_t>(s)].name),
                          {},
                          {},
                          msgraph::Marker::Symbol::None,
                          {}};
        if (isLineKind()) {
            entry.lineKey = true;
            // A scatter chart's series show their markers alone, unless given a line.
            const bool stroke =
                look_.kind != Kind::Scatter || format(s).line.mode == Paint::Mode::Explicit;
            entry.line = stroke ? lineOf(s) : QPen(Qt::NoPen);
            const msgraph::Marker m = markerOf(s, -1);
            entry.marker = m.symbol;
            entry.markerFill = m.automatic ? colorOf(chart_.automaticLine(s)) : colorOf(m.fill);
        } else {
            entry.fill = fillOf(s, -1);
            entry.line = outlineOf(s, -1);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

void ChartPainter::drawLegendKey(const LegendEntry& entry, const QRectF& key) {
    if (!entry.lineKey) {
        painter_.setBrush(entry.fill);
        painter_.setPen(entry.line);
        painter_.drawRect(key);
        return;
    }
    painter_.setPen(entry.line);
    painter_.drawLine(QPointF(key.left() - key.width() * 0.6, key.center().y()),
                      QPointF(key.right() + key.width() * 0.6, key.center().y()));
    msgraph::Marker marker;
    marker.automatic = false;
    marker.symbol = entry.marker;
    marker.fill = {static_cast<std::uint8_t>(entry.markerFill.color().red()),
                   static_cast<std::uint8_t>(entry.markerFill.color().green()),
                   static_cast<std::uint8_t>(entry.markerFill.color().blue())};
    marker.line = marker.fill;
    drawMarker(key.center(), marker, entry.markerFill.color());
}

QRectF ChartPainter::drawLegend(QRectF area) {
    if (!look_.hasLegend || !withText_) {
        return area;
    }
    const std::vector<LegendEntry> entries = legendEntries();
    if (entries.empty()) {
        return area;
    }
    const FontLook font = fontOf(look_.legendFont, look_.font, 10, false);
    const double lineHeight = measure("Xg", font).height();
    const double key = lineHeight * 0.6;
    const double pad = px(4);
    std::vector<double> widths;
    for (const LegendEntry& entry : entries) {
        widths.push_back(key * 2.2 + pad + measure(entry.text, font).width());
    }
    const LegendPosition position = look_.legendPosition;
    const bool across = position == LegendPosition::Top || position == LegendPosition::Bottom;
    // Entries side by side in rows (across) or one under the other (down), within the area.
    std::vector<QPointF> places;
    double width = 0;
    double x = 0;
    double y = 0;
    const double maxWidth = across ? area.width() - 2 * pad : area.width() * 0.45;
    for (double w : widths) {
        const double entryWidth = std::min(w, maxWidth);
        if (!places.empty() && (!across || x + entryWidth > maxWidth)) {
            x = 0;
            y += lineHeight;
        }
        places.emplace_back(x, y);
        x += entryWidth;
        width = std::max(width, x);
    }
    const QSizeF size(width + 2 * pad, y + lineHeight + 2 * pad);
    QPointF corner;
    switch (position) {
        case LegendPosition::Bottom:
            corner = {area.center().x() - size.width() / 2, area.bottom() - size.height()};
            area.setBottom(corner.y() - px(kGap));
            break;
        case LegendPosition::Top:
            corner = {area.center().x() - size.width() / 2, area.top()};
            area.setTop(area.top() + size.height() + px(kGap));
            break;
        case LegendPosition::Left:
            corner = {area.left(), area.center().y() - size.height() / 2};
            area.setLeft(area.left() + size.width() + px(kGap));
            break;
        case LegendPosition::Corner:
            corner = {area.right() - size.width(), area.top()};
            area.setRight(corner.x() - px(kGap));
            break;
        case LegendPosition::Right:
            corner = {area.right() - size.width(), area.center().y() - size.height() / 2};
            area.setRight(corner.x() - px(kGap));
            break;
    }
    const QRectF frame(corner, size);
    const msgraph::Box& box = look_.legendBox;
    painter_.setBrush(box.fill && box.fill->mode == Paint::Mode::Explicit
                          ? QBrush(colorOf(box.fill->color))
                          : QBrush(Qt::NoBrush));
    painter_.setPen(box.line && box.line->mode != Paint::Mode::None
                        ? pen(*box.line, Qt::black, kThinLine)
                        : QPen(Qt::NoPen));
    painter_.drawRect(frame);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const QPointF at = corner + QPointF(pad, pad) + places[i];
        const QRectF keyBox(at.x() + key * 0.6, at.y() + (lineHeight - key) / 2, key, key);
        drawLegendKey(entries[i], keyBox);
        const double textLeft = at.x() + key * 2.2;
        // A pixel to spare, so that a text that fits is not cut by rounding.
        const double textWidth = std::min(widths[i], maxWidth) - key * 2.2 - pad + 1;
        text(QRectF(textLeft, at.y(), textWidth + pad, lineHeight),
             Qt::AlignLeft | Qt::AlignVCenter, elided(entries[i].text, font, textWidth), font);
    }
    return area;
}

// ---- axes -------------------------------------------------------------------------------------

std::string ChartPainter::valueAxisFormat() const {
    if (look_.valueAxis.numberFormat) {
        return *look_.valueAxis.numberFormat;
    }
    return look_.grouping == msgraph::Grouping::Percent && !isPieKind() ? "0%" : data_.valueFormat;
}

std::vector<QString> ChartPainter::tickLabels(const ValueScale& scale,
                                              const std::string& format) const {
    std::vector<QString> labels;
    for (double v : scale.ticks()) {
        labels.push_back(shown(v, format));
    }
    return labels;
}

// The lowest and highest value the plot shows: of the values themselves, or of their sums
// where the series stack.
std::pair<double, double> ChartPainter::valueRange() const {
    double low = 0;
    double high = 0;
    bool any = false;
    auto take = [&](double v) {
        low = any ? std::min(low, v) : v;
        high = any ? std::max(high, v) : v;
        any = true;
    };
    if (look_.grouping == msgraph::Grouping::Standard || look_.kind == Kind::Scatter) {
        for (const SeriesData& s : data_.series) {
            for (const auto& v : s.values) {
                if (v) {
                    take(*v);
                }
            }
        }
        return {low, high};
    }
    for (const auto& spans : stackedSpans()) {
        for (const auto& [from, to] : spans) {
            take(from);
            take(to);
        }
    }
    return {low, high};
}

void ChartPainter::drawCartesianChart(const QRectF& area) {
    Cartesian c;
    c.horizontal = look_.horizontal && look_.kind == Kind::Bar;
    c.reversed = look_.categoryAxis.scaling.reversed;
    const int categories = std::max(1, data_.categoryCount());
    c.bands = look_.kind == Kind::Area ? std::max(1, categories - 1) : categories;
    const auto [low, high] = valueRange();
    c.scale = valueScale(low, high, look_.valueAxis.scaling);

    const msgraph::Axis& valueAxis = look_.valueAxis;
    const msgraph::Axis& categoryAxis = look_.categoryAxis;
    const bool valueLabels = valueAxis.present && valueAxis.tickLabels != msgraph::TickLabels::None;
    const bool categoryLabels =
        categoryAxis.present && categoryAxis.tickLabels != msgraph::TickLabels::None;
    const std::vector<QString> labels =
        valueLabels ? tickLabels(c.scale, valueAxisFormat()) : std::vector<QString>{};
    const FontLook valueFont = axisFont(valueAxis);
    const FontLook categoryFont = axisFont(categoryAxis);
    QSizeF valueSize(0, measure("0", valueFont).height());
    for (const QString& label : labels) {
        valueSize.setWidth(std::max(valueSize.width(), measure(label, valueFont).width()));
    }
    QSizeF categorySize(0, categoryLabels ? measure("Xg", categoryFont).height() : 0);
    if (categoryLabels) {
        for (const std::string& name : data_.categories) {
            categorySize.setWidth(std::max(
                categorySize.width(), measure(QString::fromStdString(name), categoryFont).width()));
        }
    }
    const double tick = px(kTickLength) + px(2);
    QRectF plot = area;
    plot.setTop(area.top() + valueSize.height() / 2);
    if (c.horizontal) {
        plot.setLeft(area.left() + (categoryLabels
                                        ? std::min(categorySize.width(), area.width() * 0.4) + tick
                                        : 0));
        plot.setBottom(area.bottom() - (valueLabels ? valueSize.height() + tick : 0));
        plot.setRight(area.right() - valueSize.width() / 2);
    } else {
        plot.setLeft(area.left() + (valueLabels ? valueSize.width() + tick : 0));
        plot.setBottom(area.bottom() - (categoryLabels ? categorySize.height() + tick : 0));
        plot.setRight(area.right() - px(2));
    }
    if (plot.width() < 1 || plot.height() < 1) {
        return;
    }
    c.plot = plot;
    const msgraph::Box& box = look_.plotArea;
    if (box.fill && box.fill->mode == Paint::Mode::Explicit) {
        painter_.fillRect(plot, colorOf(box.fill->color));
    }
    drawGridlines(c);
    // Bars and areas rise from where the category axis crosses the value axis.
    const msgraph::Scaling& s = valueAxis.scaling;
    const double base = s.crossesAtMax        ? c.scale.max
                        : s.crossesAt         ? std::clamp(*s.crossesAt, c.scale.min, c.scale.max)
                        : c.scale.logarithmic ? c.scale.min
                                              : std::clamp(0.0, c.scale.min, c.scale.max);
    if (look_.kind == Kind::Bar) {
        drawBars(c, base);
    } else if (look_.kind == Kind::Area) {
        drawAreas(c, base);
    } else {
        drawLines(c);
    }
    if (box.line && box.line->mode != Paint::Mode::None) {
        painter_.setPen(pen(*box.line, Qt::black, kThinLine));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawRect(plot);
    }
    if (valueAxis.present) {
        drawValueAxis(c, labels);
    }
    if (categoryAxis.present) {
        drawCategoryAxis(c, base);
    }
}

void ChartPainter::drawGridlines(const Cartesian& c) {
    auto gridPen = [&](const std::optional<Paint>& look) {
        return look ? pen(*look, Qt::black, kThinLine) : QPen(Qt::black, px(kThinLine) * 0.7);
    };
    if (look_.valueAxis.majorGridlines) {
        painter_.setPen(gridPen(look_.valueAxis.majorGridlineLook));
        for (double v : c.scale.ticks()) {
            painter_.drawLine(c.point(0, v), c.point(c.bands, v));
        }
    }
    if (look_.categoryAxis.majorGridlines) {
        painter_.setPen(gridPen(look_.categoryAxis.majorGridlineLook));
        for (int i = 0; i <= c.bands; ++i) {
            painter_.drawLine(c.point(i, c.scale.min), c.point(i, c.scale.max));
        }
    }
}

void ChartPainter::drawValueAxis(const Cartesian& c, const std::vector<QString>& labels) {
    painter_.setPen(QPen(Qt::black, px(kThinLine)));
    const double edge = c.reversed ? c.bands : 0;
    painter_.drawLine(c.point(edge, c.scale.min), c.point(edge, c.scale.max));
    const std::vector<double> ticks = c.scale.ticks();
    const FontLook font = axisFont(look_.valueAxis);
    const double tick = px(kTickLength);
    const double height = measure("0", font).height();
    // Every label where they fit side by side (one above the other), else every second...
    double widest = 0;
    for (const QString& label : labels) {
        widest = std::max(widest, measure(label, font).width());
    }
    const double spacing =
        ticks.size() > 1 ? std::abs(c.valueAt(ticks[1]) - c.valueAt(ticks[0])) : 1e9;
    const double needed = (c.horizontal ? widest + px(3) : height) / std::max(spacing, 1e-9);
    const std::size_t every = static_cast<std::size_t>(std::clamp(std::ceil(needed), 1.0, 1e6));
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const QPointF at = c.point(edge, ticks[i]);
        if (look_.valueAxis.majorTicks != msgraph::TickMark::None) {
            painter_.drawLine(at, c.horizontal ? at + QPointF(0, tick) : at - QPointF(tick, 0));
        }
        if (i >= labels.size() || i % every != 0) {
            continue;
        }
        if (c.horizontal) {
            const double w = measure(labels[i], font).width();
            text(QRectF(at.x() - w / 2, at.y() + tick + px(2), w, height), Qt::AlignCenter,
                 labels[i], font);
        } else {
            const double w = measure(labels[i], font).width();
            text(QRectF(at.x() - tick - px(2) - w, at.y() - height / 2, w, height),
                 Qt::AlignRight | Qt::AlignVCenter, labels[i], font);
        }
        painter_.setPen(QPen(Qt::black, px(kThinLine)));
    }
}

void ChartPainter::drawCategoryAxis(const Cartesian& c, double base) {
    painter_.setPen(QPen(Qt::black, px(kThinLine)));
    painter_.drawLine(c.point(0, base), c.point(c.bands, base));
    const double tick = px(kTickLength);
    const bool ticks = look_.categoryAxis.majorTicks != msgraph::TickMark::None;
    for (int i = 0; ticks && i <= c.bands; ++i) {
        const QPointF at = c.point(i, c.scale.min);
        painter_.drawLine(at, c.horizontal ? at - QPointF(tick, 0) : at + QPointF(0, tick));
    }
    if (look_.categoryAxis.tickLabels == msgraph::TickLabels::None) {
        return;
    }
    const FontLook font = axisFont(look_.categoryAxis);
    const double height = measure("Xg", font).height();
    const double band = std::abs(c.categoryAt(1) - c.categoryAt(0));
    // Every label where they fit side by side, else every second, third... one.
    double widest = 0;
    for (const std::string& name : data_.categories) {
        widest = std::max(widest, measure(QString::fromStdString(name), font).width());
    }
    const int every = c.horizontal ? std::max(1, static_cast<int>(std::ceil(height / band)))
                                   : std::max(1, static_cast<int>(std::ceil(widest / band)));
    const double offset = look_.kind == Kind::Area ? 0 : 0.5;
    for (int i = 0; i < data_.categoryCount(); i += every) {
        const QString name = QString::fromStdString(data_.categories[static_cast<size_t>(i)]);
        const QPointF at = c.point(i + offset, c.scale.min);
        if (c.horizontal) {
            const double room = std::min(widest, at.x() - tick - px(2));
            text(QRectF(at.x() - tick - px(2) - room, at.y() - height / 2, room, height),
                 Qt::AlignRight | Qt::AlignVCenter, elided(name, font, room), font);
        } else {
            const double w = std::max(widest, band);
            text(QRectF(at.x() - w / 2, at.y() + tick + px(2), w, height), Qt::AlignCenter, name,
                 font);
        }
    }
}

}  // namespace office::graph::picture
