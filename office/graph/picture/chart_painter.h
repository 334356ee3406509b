#pragma once

// Draws a Graph chart with a QPainter: the chart area, title, legend, and the plot of its kind
// with axes, gridlines and data labels. Sizes are in points of the chart's frame, drawn at
// `pixelsPerPoint`; fonts are Graph's, in points, as the look gives them for the chart's own
// size, scaled as the frame is to that size.

#include <QColor>
#include <QPainter>
#include <QPen>
#include <QRectF>
#include <QString>

#include <string>
#include <vector>

#include "office/graph/msgraph/model.h"
#include "office/graph/picture/chart_data.h"
#include "office/graph/picture/value_scale.h"

namespace office::graph::picture {

// A resolved font: face, size in points, style, colour.
struct FontLook {
    std::string family = "Arial";
    double points = 10;
    bool bold = false;
    bool italic = false;
    QColor color = Qt::black;
};

// One line of the legend: its text and the look of its key.
struct LegendEntry {
    QString text;
    QBrush fill;  // the key's square; no brush for a line's key
    QPen line;    // the square's outline, or the line
    msgraph::Marker::Symbol marker = msgraph::Marker::Symbol::None;
    QBrush markerFill;
    bool lineKey = false;  // a stroke with the marker rather than a square
};

// Where categories and values lie in the plot of a bar, line or area chart.
struct Cartesian {
    QRectF plot;
    ValueScale scale;
    bool horizontal = false;  // categories up the left side, values along the bottom
    bool reversed = false;    // categories from the far end
    int bands = 1;            // category bands (bars, lines) or intervals (areas)

    // The pixel along the category direction of slot position t (0 to bands).
    double categoryAt(double t) const;
    // The pixel along the value direction of a value.
    double valueAt(double value) const;
    QPointF point(double category, double value) const;
    QRectF rect(double category0, double category1, double value0, double value1) const;
};

class ChartPainter {
public:
    ChartPainter(QPainter& painter, const msgraph::GraphChart& chart, const ChartData& data,
                 double pixelsPerPoint, bool withText);

    void draw(const QRectF& area);

private:
    // The frame: title, legend, axes (chart_frame.cpp).
    QRectF drawTitle(QRectF area);
    QRectF drawLegend(QRectF area);
    std::vector<LegendEntry> legendEntries() const;
    void drawLegendKey(const LegendEntry& entry, const QRectF& key);
    void drawCartesianChart(const QRectF& area);
    void drawValueAxis(const Cartesian& c, const std::vector<QString>& labels);
    void drawCategoryAxis(const Cartesian& c, double base);
    void drawGridlines(const Cartesian& c);
    std::pair<double, double> valueRange() const;
    std::vector<QString> tickLabels(const ValueScale& scale, const std::string& format) const;
    std::string valueAxisFormat() const;

    // The plots (chart_plots.cpp).
    void drawBars(const Cartesian& c, double base);
    void drawLines(const Cartesian& c);
    void drawAreas(const Cartesian& c, double base);
    void drawScatter(const QRectF& area);
    void drawRadar(const QRectF& area);
    void drawPie(const QRectF& area);
    // The values of a stacked or percent chart, where each series starts on the ones before.
    std::vector<std::vector<std::pair<double, double>>> stackedSpans() const;
    enum class LabelPlace { Above, Centre, Right, Outward };
    // At `at`, or for Outward just beyond it in `direction` (a unit vector).
    void drawDataLabel(int series, int point, QPointF at, LabelPlace place, QPointF direction = {});
    FontLook dataLabelFont() const;
    bool outsideLabels() const;  // a pie's labels may lie beyond its slices
    // Where a slice's label goes: its centre and place, for a slice of `span` degrees between
    // the radii, drawn from `centre` in `direction`.
    std::pair<QPointF, LabelPlace> sliceLabel(int series, int point, QPointF centre,
                                              QPointF direction, double inner, double outer,
                                              double span) const;
    QString dataLabelText(int series, int point) const;

    // Looks.
    const msgraph::SeriesFormat& format(int series) const;
    const msgraph::PointFormat* pointFormat(int series, int point) const;
    QBrush fillOf(int series, int point) const;
    QPen outlineOf(int series, int point) const;
    QPen lineOf(int series) const;
    msgraph::Marker markerOf(int series, int point) const;
    void drawMarker(QPointF at, const msgraph::Marker& marker, QColor automatic);
    QPen pen(const msgraph::Paint& paint, QColor automatic, double automaticPoints) const;

    // Text.
    FontLook fontOf(const msgraph::TextLook& own, const msgraph::TextLook& fallback, double points,
                    bool bold) const;
    FontLook axisFont(const msgraph::Axis& axis) const;
    QSizeF measure(const QString& text, const FontLook& font) const;
    void text(const QRectF& box, int flags, const QString& text, const FontLook& font);
    // The text cut to the width, an ellipsis at its end, where it is wider.
    QString elided(const QString& text, const FontLook& font, double width) const;
    QString shown(double value, const std::string& format) const;

    double px(double points) const { return points * scale_; }
    bool isPieKind() const;
    bool isLineKind() const;

    QPainter& painter_;
    const msgraph::GraphChart& chart_;
    const msgraph::ChartLook& look_;
    const ChartData& data_;
    double scale_;
    double textScale_ = 1;  // the frame's size against the chart's own (fonts scale with it)
    bool withText_;
};

QColor colorOf(msgraph::Rgb rgb);

}  // namespace office::graph::picture
