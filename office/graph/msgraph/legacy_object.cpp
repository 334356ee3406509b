// The Graph chart object of a legacy site (a .ppt, which cannot hold native charts): the same
// chart server as for a native chart runs over a private package that holds the object
// converted to a native chart, so that pasting, growing the series and categories, the title
// and the leftovers behave as for any chart. Each Update writes the server's resulting state
// back into the object's own Graph records (writer.h) and hands the new storage, without
// Graph's cached pictures, to the site.

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "office/compound/compound_file.h"
#include "office/error.h"
#include "office/excel/embedded.h"
#include "office/graph/chart_part.h"
#include "office/graph/chart_picture.h"
#include "office/graph/chart_server.h"
#include "office/graph/msgraph/native_chart.h"
#include "office/graph/msgraph/records.h"
#include "office/graph/msgraph/writer.h"
#include "office/powerpoint.h"
#include "office/ppt/object_site.h"

namespace office::detail {

namespace {

namespace mg = graph::msgraph;
using compound::Bytes;

constexpr std::string_view kChartType =
    "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";
constexpr const char* kSheet = "Sheet1";

// A data sheet may span this many cells (rows times columns of its extent), or as many as its
// stream has bytes when that is more: a few records that claim cells far out must not make the
// chart's series and caches grow far beyond the object.
constexpr std::size_t kPlainExtent = std::size_t{1} << 17;

void checkExtent(const mg::DataSheet& sheet, std::size_t streamBytes, const std::string& where) {
    std::size_t rows = 0;
    std::size_t columns = 0;
    for (const auto& [pos, cell] : sheet.cells) {
        rows = std::max(rows, static_cast<std::size_t>(pos.row));
        columns = std::max(columns, static_cast<std::size_t>(pos.column));
    }
    if (rows * columns > std::max(kPlainExtent, streamBytes)) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": the chart object's data sheet claims cells up to row " +
                        std::to_string(rows) + ", column " + std::to_string(columns) +
                        ", far more than its " + std::to_string(streamBytes) +
                        " bytes of data hold");
    }
}

// The package the chart server works in, named so that its messages begin with the site's
// "deck.ppt: slide 2, shape \"Chart 3\"".
struct ScratchName {
    std::string document;
    int slide = 0;
    std::string shape;
};

ScratchName scratchName(const std::string& where) {
    const std::size_t slide = where.rfind(": slide ");
    const std::size_t shape = where.rfind(", shape \"");
    if (slide == std::string::npos || shape == std::string::npos || shape < slide ||
        !where.ends_with('"')) {
        return {where, 0, ""};
    }
    ScratchName name;
    name.document = where.substr(0, slide);
    name.slide = std::atoi(where.c_str() + slide + 8);
    name.shape = where.substr(shape + 9, where.size() - shape - 10);
    return name;
}

const Bytes& scratchBase() {
    static const Bytes bytes = excel::newWorkbookBytes(kSheet);
    return bytes;
}

class LegacyGraph {
public:
    explicit LegacyGraph(const LegacyObjectSite& site)
        : site_(site),
          file_(openStorage(site)),
          stream_(workbookStream()),
          chart_(mg::readGraphChart(stream_, site.where)) {
        checkExtent(chart_.sheet, stream_.size(), site.where);
    }

    std::shared_ptr<Dispatch> open(const std::shared_ptr<LegacyGraph>& self);

private:
    static compound::File openStorage(const LegacyObjectSite& site) {
        return compound::File::openBytes(site.storage(),
                                         site.where + ": the chart object's storage");
    }
    Bytes workbookStream() const {
        if (!file_.hasStream("Workbook")) {
            throw Error(
                ErrorCode::CorruptPart,
                site_.where + ": the chart object holds no data sheet (no Workbook stream)");
        }
        return file_.readStream("Workbook");
    }
    mg::GraphFill fillOf();
    graph::detail::CellMap dataSheet(const std::string& chartPart, const graph::detail::Area& area);
    void writeBack();
    std::function<std::string()> pictureOf(const Bytes& written) const;

    LegacyObjectSite site_;
    compound::File file_;
    Bytes stream_;
    mg::GraphChart chart_;
    std::shared_ptr<OpenDocument> scratch_;
    std::string chartPart_;
};

std::shared_ptr<Dispatch> LegacyGraph::open(const std::shared_ptr<LegacyGraph>& self) {
    const ScratchName name = scratchName(site_.where);
    auto package = package::Package::openBytes(scratchBase(), name.document, "presentation");
    chartPart_ = "ppt/charts/chart1.xml";
    package.writeXml(chartPart_, mg::nativeChart(chart_, kSheet, site_.where));
    package.setContentType(chartPart_, kChartType);
    scratch_ = std::make_shared<OpenDocument>(OpenDocument{std::move(package)});

    ObjectSite native;
    native.document = scratch_;
    native.slideIndex = name.slide;
    native.shapeName = name.shape;
    native.objectPart = chartPart_;
    native.progId = std::string(ppt::kChartServerProgID);
    native.nativeChart = true;
    native.chartServer = true;
    graph::detail::Replacement replacement;
    replacement.dataSheet = chart_.sheet.cells;
    replacement.updated = [self] { self->writeBack(); };
    return graph::detail::openReplacementChart(native, std::move(replacement));
}

// The series' data sheet lines and the categories as the chart server left them, and the
// title where it changed.
mg::GraphFill LegacyGraph::fillOf() {
    const pugi::xml_document& chart = scratch_->package.xml(chartPart_);
    const graph::detail::ChartData data = graph::detail::readChart(chart, site_.where);
    const bool rows = chart_.sheet.seriesInRows;
    mg::GraphFill fill;
    for (const graph::detail::SeriesInfo& series : data.series) {
        if (!series.values) {
            continue;
        }
        const graph::detail::Area& a = series.values->area;
        fill.seriesLines.push_back(rows ? a.top : a.left);
        fill.categories =
            std::max(fill.categories, rows ? a.right - a.left + 1 : a.bottom - a.top + 1);
    }
    if (graph::detail::hasTitle(chart)) {
        std::string title = graph::detail::titleText(chart);
        if (title != chart_.look.title.value_or("")) {
            fill.title = std::move(title);
        }
    }
    int lastRow = 1;
    int lastColumn = 1;
    for (const auto& [pos, cell] : chart_.sheet.cells) {
        lastRow = std::max(lastRow, pos.row);
        lastColumn = std::max(lastColumn, pos.column);
    }
    const int lastLine = fill.seriesLines.empty()
                             ? 1
                             : *std::max_element(fill.seriesLines.begin(), fill.seriesLines.end());
    lastRow = std::max(lastRow, rows ? lastLine : fill.categories + 1);
    lastColumn = std::max(lastColumn, rows ? fill.categories + 1 : lastLine);
    fill.cells = dataSheet(chartPart_, {1, 1, lastRow, lastColumn});
    return fill;
}

// The cells of the data workbook that the chart server wrote at Update.
graph::detail::CellMap LegacyGraph::dataSheet(const std::string& chartPart,
                                              const graph::detail::Area& area) {
    package::Package& package = scratch_->package;
    const package::Relationships rels = package.relationships(chartPart);
    const package::Relationship* rel = rels.findByType("/package");
    if (!rel) {
        throw Error(ErrorCode::CorruptPart,
                    site_.where + ": the chart's data was not written at Update");
    }
    const std::string part = package::resolveTarget(chartPart, rel->target);
    const std::string raw = package.read(part);
    excel::SheetCells sheet(
        package::Package::openBytes(Bytes(raw.begin(), raw.end()), site_.where, "workbook"),
        kSheet);
    return sheet.read(area);
}

void LegacyGraph::writeBack() {
    const mg::GraphFill fill = fillOf();
    Bytes written = mg::writeGraphChart(stream_, chart_, fill, site_.where);
    auto picture = pictureOf(written);
    // The cached pictures show the old data: they go, and the site shows the new picture.
    Bytes storage = file_.rewrite({{"Workbook", std::move(written)}}, file_.cachedPictures());
    if (site_.replaceLater) {
        site_.replaceLater(std::move(storage), std::move(picture));
    } else {
        site_.replace(std::move(storage), picture());
    }
}

// What draws the picture the slide shows of the filled chart, at the shape's size, from the
// written records read back: what the picture shows is what the object holds, and records that
// do not hold together fail here, before anything is replaced. The drawing owns the chart it
// draws, so that it may run later on another thread.
std::function<std::string()> LegacyGraph::pictureOf(const Bytes& written) const {
    auto chart = std::make_shared<const mg::GraphChart>(mg::readGraphChart(written, site_.where));
    graph::prepareChartPicture(site_.cx, site_.cy);
    return
        [chart, cx = site_.cx, cy = site_.cy] { return graph::drawGraphChart(*chart, cx, cy).png; };
}

}  // namespace

std::shared_ptr<Dispatch> openLegacyGraphObject(const LegacyObjectSite& site) {
    auto object = std::make_shared<LegacyGraph>(site);
    return object->open(object);
}

}  // namespace office::detail
