// The chart records of a Graph object's stream: the chart and its kind, the axes, the texts, the
// markers, the 3-D view, and the formats of series, points, gridlines and labels.

#include <algorithm>
#include <set>

#include "office/graph/msgraph/records_parser.h"

namespace office::graph::msgraph::reading {

void Parser::chartRecord(const Record& r, Fields& f) {
    ChartLook& look = chart_.look;
    switch (r.id) {
        case rt::Begin:
            blocks_.push_back(previous_);
            ++openBlocks_[previous_];
            return;
        case rt::End:
            closeBlock();
            return;
        case rt::Orient:
            chart_.sheet.seriesInRows = f.u8() != 0;
            return;
        case rt::Series:
            // A DataFormat block left open (a damaged stream) must not keep pointing into the
            // list of series, which may move as it grows.
            format_ = nullptr;
            point_ = nullptr;
            labels_ = nullptr;
            look.series.emplace_back();
            return;
        case rt::ChartFormat:
            if (++chartGroups_ > 1) {
                unsupported("a combination of chart kinds");
            }
            return;
        case rt::Bar:
        case rt::Line:
        case rt::Pie:
        case rt::Area:
        case rt::Scatter:
        case rt::Radar:
        case rt::RadarArea:
        case rt::Surf:
        case rt::BopPop:
            if (directlyIn(rt::ChartFormat)) {
                chartKind(r, f);
            }
            return;
        case rt::Chart:
            chartSize(f);
            return;
        case rt::Chart3d:
            look.threeD = true;
            view3D(f);
            return;
        case rt::Frame:
            // The plot area's frame follows its PlotArea record; the chart area's and the
            // legend's lie in their blocks.
            box_ = previous_ == rt::PlotArea ? &look.plotArea
                   : directlyIn(rt::Chart)   ? &look.chartArea
                   : directlyIn(rt::Legend)  ? &look.legendBox
                                             : nullptr;
            return;
        case rt::DefaultText:
            defaultText_ = f.u16();
            return;
        case rt::Text:
            textRecord(f);
            return;
        case rt::FontX:
            if (directlyIn(rt::Text)) {
                text_.font = f.u16();
            } else if (directlyIn(rt::Axis) && (axisType_ == 0 || axisType_ == 1)) {
                // The tick labels' own colour (Tick) stays over the font's.
                TextLook& font = (axisType_ == 0 ? look.categoryAxis : look.valueAxis).font;
                font = fontLook(f.u16(), font.color);
            }
            return;
        case rt::ValueRange:
        case rt::CatSerRange:
        case rt::Tick:
            if (directlyIn(rt::Axis)) {
                axisRecord(r, f);
            }
            return;
        case rt::ExcludeRows:
        case rt::ExcludeColumns: {
            ChangePoints points;
            while (f.remaining() >= 2) {
                points.push_back(f.u16());
            }
            (r.id == rt::ExcludeRows ? includedRows_ : includedColumns_) = std::move(points);
            return;
        }
        case rt::Legend: {
            f.skip(16);
            static constexpr LegendPosition positions[] = {
                LegendPosition::Bottom, LegendPosition::Corner, LegendPosition::Top,
                LegendPosition::Right, LegendPosition::Left};
            const int type = f.u8();
            look.hasLegend = true;
            look.legendPosition = type < 5 ? positions[type] : LegendPosition::Right;
            return;
        }
        case rt::Axis: {
            axisType_ = f.u16();
            if (axisType_ == 0) {
                look.categoryAxis.present = true;
            } else if (axisType_ == 1) {
                look.valueAxis.present = true;
            }
            return;
        }
        case rt::AxisLine:
            axisLine_ = f.u16();
            return;
        case rt::IFmtRecord: {
            if (axisType_ != 0 && axisType_ != 1) {
                return;
            }
            const int index = f.u16();
            const auto it = formats_.find(index);
            std::string code = it != formats_.end() ? it->second : builtInFormat(index);
            if (!code.empty()) {
                (axisType_ == 0 ? look.categoryAxis : look.valueAxis).numberFormat = code;
            }
            return;
        }
        case rt::ObjectLink:
            if (inside(rt::Text)) {
                text_.link = f.u16();
            }
            return;
        case rt::SeriesText:
            if (directlyIn(rt::Text)) {
                f.skip(2);
                text_.text = string8(f);
            }
            return;
        case rt::SerFmt:
            if (inside(rt::Series) && (f.u16() & 1) != 0) {
                look.smoothLines = true;
            }
            return;
        case rt::BarShape3d: {
            if (!inside(rt::Series) || look.series.size() != 1) {
                return;  // the first series' shape stands for the chart's
            }
            const int riser = f.u8();
            const int taper = f.u8();
            look.shape = taper == 0 ? (riser == 0 ? BarShape::Box : BarShape::Cylinder)
                                    : (riser == 0 ? BarShape::Pyramid : BarShape::Cone);
            return;
        }
        default:
            formatRecord(r, f);
            return;
    }
}

void Parser::chartKind(const Record& r, Fields& f) {
    ChartLook& look = chart_.look;
    sawKind_ = true;
    switch (r.id) {
        case rt::Bar: {
            look.kind = Kind::Bar;
            look.overlap = f.i16();
            look.gapWidth = f.u16();
            const int flags = f.u16();
            look.horizontal = (flags & 1) != 0;
            look.grouping = (flags & 4)   ? Grouping::Percent
                            : (flags & 2) ? Grouping::Stacked
                                          : Grouping::Standard;
            return;
        }
        case rt::Line:
        case rt::Area: {
            look.kind = r.id == rt::Line ? Kind::Line : Kind::Area;
            const int flags = f.u16();
            look.grouping = (flags & 2)   ? Grouping::Percent
                            : (flags & 1) ? Grouping::Stacked
                                          : Grouping::Standard;
            return;
        }
        case rt::Pie: {
            look.firstSliceAngle = f.u16();
            look.holeSize = f.u16();
            look.kind = look.holeSize > 0 ? Kind::Doughnut : Kind::Pie;
            look.varyColors = true;
            return;
        }
        case rt::Scatter: {
            f.skip(4);
            if ((f.u16() & 1) != 0) {
                unsupported("a bubble chart");
            }
            look.kind = Kind::Scatter;
            return;
        }
        case rt::Radar:
            look.kind = Kind::Radar;
            return;
        case rt::RadarArea:
            look.kind = Kind::FilledRadar;
            return;
        case rt::Surf:
            unsupported("a surface chart");
        default:
            unsupported("a pie or bar of pie");
    }
}

// Text: alignment (2 bytes), background mode (2), the text's colour, position and size (16),
// flags (bit 0: the colour is automatic).
void Parser::textRecord(Fields& f) {
    text_ = {};
    text_.defaults = defaultText_;
    defaultText_.reset();
    text_.inLegend = directlyIn(rt::Legend);
    f.skip(4);
    const Rgb color = rgb(f);
    f.skip(16);
    if ((f.u16() & 0x01) == 0) {
        text_.color = color;
    }
    // The text's colour index, then flags whose low four bits place a data label.
    if (f.remaining() >= 4) {
        f.skip(2);
        text_.position = f.u16() & 0x0F;
    }
}

// Chart: the chart's position and size in points, 16.16 fixed point. Sizes that no chart has
// (none, or beyond a mile of points) are left out, so that texts keep their own sizes.
void Parser::chartSize(Fields& f) {
    if (f.remaining() < 16) {
        return;
    }
    f.skip(8);
    const double width = f.u32() / 65536.0;
    const double height = f.u32() / 65536.0;
    constexpr double kLargest = 100000;
    if (width >= 1 && height >= 1 && width <= kLargest && height <= kLargest) {
        chart_.look.widthPoints = width;
        chart_.look.heightPoints = height;
    }
}

// The scale, tick marks and tick labels of the axis whose block is open.
void Parser::axisRecord(const Record& r, Fields& f) {
    if (axisType_ != 0 && axisType_ != 1) {
        return;
    }
    Axis& axis = axisType_ == 0 ? chart_.look.categoryAxis : chart_.look.valueAxis;
    Scaling& scaling = axis.scaling;
    if (r.id == rt::ValueRange) {
        // Minimum, maximum, major and minor unit, crossing value; flags say which are automatic.
        const double values[] = {f.f64(), f.f64(), f.f64(), f.f64(), f.f64()};
        const int flags = f.u16();
        std::optional<double>* fields[] = {&scaling.min, &scaling.max, &scaling.majorUnit,
                                           &scaling.minorUnit, &scaling.crossesAt};
        for (int i = 0; i < 5; ++i) {
            if ((flags & (1 << i)) == 0) {
                *fields[i] = values[i];
            }
        }
        scaling.logarithmic = (flags & 0x20) != 0;
        scaling.reversed = (flags & 0x40) != 0;
        scaling.crossesAtMax = (flags & 0x80) != 0;
        return;
    }
    if (r.id == rt::CatSerRange) {
        // Crossing category, label and mark intervals, flags (bit 1: crosses at the last
        // category, bit 2: reversed).
        const int crossing = f.u16();
        if (crossing > 1) {
            scaling.crossesAt = crossing;
        }
        f.skip(4);
        const int flags = f.u16();
        scaling.crossesAtMax = (flags & 0x02) != 0;
        scaling.reversed = (flags & 0x04) != 0;
        return;
    }
    static constexpr TickMark marks[] = {TickMark::None, TickMark::Inside, TickMark::Outside,
                                         TickMark::Cross};
    static constexpr TickLabels labels[] = {TickLabels::None, TickLabels::Low, TickLabels::High,
                                            TickLabels::NextTo};
    const int major = f.u8();
    const int minor = f.u8();
    const int position = f.u8();
    axis.majorTicks = major < 4 ? marks[major] : TickMark::Outside;
    axis.minorTicks = minor < 4 ? marks[minor] : TickMark::None;
    axis.tickLabels = position < 4 ? labels[position] : TickLabels::NextTo;
    f.skip(1);
    const Rgb color = rgb(f);
    f.skip(16);
    if ((f.u16() & 0x01) == 0) {
        axis.font.color = color;
        axis.font.known = true;
    }
}

// MarkerFormat: outline and inside colours, symbol, flags (bit 0 automatic, bit 4 no inside,
// bit 5 no outline), two colour indices, size in twips.
void Parser::markerRecord(Fields& f) {
    static constexpr Marker::Symbol symbols[] = {Marker::Symbol::None,     Marker::Symbol::Square,
                                                 Marker::Symbol::Diamond,  Marker::Symbol::Triangle,
                                                 Marker::Symbol::X,        Marker::Symbol::Star,
                                                 Marker::Symbol::DowJones, Marker::Symbol::StdDev,
                                                 Marker::Symbol::Circle,   Marker::Symbol::Plus};
    Marker marker;
    marker.line = rgb(f);
    marker.fill = rgb(f);
    const int symbol = f.u16();
    const int flags = f.u16();
    f.skip(4);
    marker.size = std::clamp(static_cast<int>(f.u32() / 20), 2, 72);
    marker.symbol = symbol < 10 ? symbols[symbol] : Marker::Symbol::Square;
    marker.automatic = (flags & 0x01) != 0;
    marker.noFill = (flags & 0x10) != 0;
    marker.noLine = (flags & 0x20) != 0;
    if (point_) {
        point_->marker = marker;
    } else if (format_ && format_ != &pointFormat_) {
        format_->marker = marker;
    }
}

// Chart3d: rotation, elevation, perspective distance, height and depth in percent, gap,
// flags (bit 0 perspective, bit 1 clustered).
void Parser::view3D(Fields& f) {
    View3D view;
    view.rotation = f.u16() % 360;
    view.elevation = std::clamp(static_cast<int>(f.i16()), -90, 90);
    view.perspective = std::clamp(static_cast<int>(f.u16()), 0, 100);
    view.heightPercent = std::clamp(static_cast<int>(f.u16()), 5, 500);
    view.depthPercent = std::clamp(static_cast<int>(f.u16()), 20, 2000);
    f.skip(2);
    const int flags = f.u16();
    view.rightAngles = (flags & 0x01) == 0;
    view.clustered = (flags & 0x02) != 0;
    chart_.look.view = view;
}

// DataFormat opens the formats of a whole series, of one of its points, or the defaults of
// the chart group.
void Parser::dataFormat(Fields& f) {
    ChartLook& look = chart_.look;
    const std::uint16_t point = f.u16();
    f.skip(2);  // the series' index
    const std::uint16_t order = f.u16();
    point_ = nullptr;
    if (inside(rt::Series) && !look.series.empty()) {
        SeriesFormat& series = look.series.back();
        if (point == kAllPoints) {
            format_ = &series;
            labels_ = &look.labels;
        } else {
            format_ = &pointFormat_;
            point_ = &series.points[point];
            labels_ = &ignoredLabels_;
        }
    } else if (order == kGroupDefault) {
        format_ = &pointFormat_;
        labels_ = &look.labels;
    } else {
        format_ = &pointFormat_;
        labels_ = &ignoredLabels_;
    }
}

namespace {

Paint paintOf(Rgb color, bool none, bool automatic) {
    Paint paint;
    paint.mode = none        ? Paint::Mode::None
                 : automatic ? Paint::Mode::Automatic
                             : Paint::Mode::Explicit;
    paint.color = color;
    return paint;
}

// LineFormat: colour, pattern (0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 none,
// 6 to 8 grey shades, drawn solid), weight (-1 hairline, 0 narrow, 1 medium, 2 wide), flags
// (bit 0 automatic).
Paint lineOf(Fields& f) {
    const Rgb color = rgb(f);
    const int pattern = f.u16();
    const int weight = f.i16();
    const bool automatic = (f.u16() & 1) != 0;
    Paint paint = paintOf(color, pattern == 5, automatic);
    if (paint.mode != Paint::Mode::Explicit) {
        return paint;
    }
    static constexpr Paint::Dash dashes[] = {Paint::Dash::Solid, Paint::Dash::Dash,
                                             Paint::Dash::Dot, Paint::Dash::DashDot,
                                             Paint::Dash::DashDotDot};
    paint.dash = pattern < 5 ? dashes[pattern] : Paint::Dash::Solid;
    paint.width = weight < 0 ? 3175 : weight == 0 ? 9525 : weight == 1 ? 19050 : 28575;
    return paint;
}

}  // namespace

// The formats of a series or point (inside its DataFormat block), the gridlines of an axis,
// and the data labels.
void Parser::formatRecord(const Record& r, Fields& f) {
    ChartLook& look = chart_.look;
    if (r.id == rt::DataFormat) {
        dataFormat(f);
        return;
    }
    const bool inFormat = directlyIn(rt::DataFormat) && format_;
    switch (r.id) {
        case rt::LineFormat: {
            const Paint paint = lineOf(f);
            const bool none = paint.mode == Paint::Mode::None;
            if (inFormat) {
                if (point_) {
                    point_->line = paint;
                } else {
                    format_->line = paint;
                }
            } else if (directlyIn(rt::Frame) && box_) {
                box_->line = paint;
            } else if (directlyIn(rt::Axis) && (axisType_ == 0 || axisType_ == 1)) {
                Axis& axis = axisType_ == 0 ? look.categoryAxis : look.valueAxis;
                const std::optional<Paint> own =
                    paint.mode == Paint::Mode::Explicit ? std::optional(paint) : std::nullopt;
                if (axisLine_ == 1) {
                    axis.majorGridlines = !none;
                    axis.majorGridlineLook = own;
                } else if (axisLine_ == 2) {
                    axis.minorGridlines = !none;
                    axis.minorGridlineLook = own;
                }
            }
            return;
        }
        case rt::AreaFormat: {
            const bool inFrame = directlyIn(rt::Frame) && box_;
            if (!inFormat && !inFrame) {
                return;
            }
            const Rgb fore = rgb(f);
            f.skip(4);
            const int pattern = f.u16();
            const bool automatic = (f.u16() & 1) != 0;
            const Paint paint = paintOf(fore, pattern == 0, automatic);
            if (inFrame) {
                box_->fill = paint;
                return;
            }
            if (point_) {
                point_->fill = paint;
            } else {
                format_->fill = paint;
            }
            return;
        }
        case rt::PieFormat:
            if (inFormat && point_) {
                point_->explosion = f.u16();
            } else if (inFormat) {
                format_->explosion = f.u16();
            }
            return;
        case rt::MarkerFormat:
            if (inFormat) {
                markerRecord(f);
            }
            return;
        case rt::AttachedLabel: {
            if (!inFormat || !labels_) {
                return;
            }
            const int flags = f.u16();
            labels_->value = labels_->value || (flags & 0x01) != 0;
            labels_->percent = labels_->percent || (flags & 0x06) != 0;
            labels_->category = labels_->category || (flags & 0x14) != 0;
            labels_->seriesName = labels_->seriesName || (flags & 0x40) != 0;
            return;
        }
        default:
            return;
    }
}

// The rows and columns within the data sheet's cells that the exclusion records leave out.
// A record without change points (nothing included) is taken as saying nothing: a chart
// without data is not what its author made.
void Parser::applyExclusions() {
    DataSheet& sheet = chart_.sheet;
    int lastRow = 0;
    int lastColumn = 0;
    for (const auto& [pos, cell] : sheet.cells) {
        lastRow = std::max(lastRow, pos.row);
        lastColumn = std::max(lastColumn, pos.column);
    }
    // One walk along the lines and the change points together: a record of thousands of change
    // points over a sheet of thousands of lines must not cost their product.
    auto collect = [](const std::optional<ChangePoints>& points, int last, std::set<int>& out) {
        if (!points || points->empty()) {
            return;
        }
        auto next = points->begin();
        bool in = false;
        for (int line = 1; line <= last; ++line) {
            for (; next != points->end() && *next <= line - 1; ++next) {
                in = !in;
            }
            if (!in) {
                out.insert(out.end(), line);
            }
        }
    };
    collect(includedRows_, lastRow, sheet.excludedRows);
    collect(includedColumns_, lastColumn, sheet.excludedColumns);
}

}  // namespace office::graph::msgraph::reading
