// The chart server behind a native chart: its data sheet, chart and title, and Update, which
// writes the data sheet back into the chart part and the chart's embedded workbook.

#include <algorithm>
#include <optional>
#include <vector>

#include "office/clipboard.h"
#include "office/compound/compound_file.h"
#include "office/excel/embedded.h"
#include "office/graph.h"
#include "office/graph/chart_part.h"
#include "office/graph/chart_server.h"
#include "office/graph/chart_xml.h"
#include "office/graph/msgraph/convert.h"
#include "office/ppt/object_site.h"

namespace office::graph {

namespace {

using chartml = graph::detail::chartml;

const std::string kPackageRel = package::relationshipType("package");
constexpr std::string_view kSheetType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// The chart space's children in the schema's order, for placing a new <c:externalData>.
constexpr std::string_view kSpaceOrder[] = {
    "date1904",      "lang",       "roundedCorners", "AlternateContent",
    "style",         "clrMapOvr",  "pivotSource",    "protection",
    "chart",         "spPr",       "txPr",           "externalData",
    "printSettings", "userShapes", "extLst"};

// A data sheet of up to this many cells stays a model between fills of its chart (see
// PendingWorkbook); a larger one is saved at once, so that its trees do not stay in memory.
constexpr std::size_t kPendingCells = 10000;

// The data workbook of a chart between two fills: the presentation's part stands for it as the
// model it was edited in, and is made from it when the presentation needs its bytes. The next
// fill of the same chart (the next block of a worksheet) takes the model up again instead of
// reading the saved package back.
class PendingWorkbook : public package::Package::Deferred {
public:
    explicit PendingWorkbook(std::shared_ptr<excel::SheetCells> book) : book_(std::move(book)) {}
    std::string contents() override {
        const std::vector<std::uint8_t> bytes = book_->save();
        return std::string(bytes.begin(), bytes.end());
    }
    // A workbook that no chart server took up again is this maker's alone.
    bool independent() const override { return book_.use_count() == 1; }
    const std::shared_ptr<excel::SheetCells>& book() const { return book_; }

private:
    std::shared_ptr<excel::SheetCells> book_;
};

// A new workbook of one sheet, made once for the sheet name and flavour that the charts of a
// run ask for over and over (every Graph chart of a .ppt is filled through a chart of its own).
std::vector<std::uint8_t> newWorkbook(const std::string& sheet, bool strict) {
    struct Made {
        std::string sheet;
        bool strict = false;
        std::vector<std::uint8_t> bytes;
    };
    thread_local std::optional<Made> last;
    if (!last || last->sheet != sheet || last->strict != strict) {
        last = Made{sheet, strict, excel::newWorkbookBytes(sheet, strict)};
    }
    return last->bytes;
}

bool isChartEx(const office::detail::ObjectSite& site) {
    const std::string type = site.document->package.contentType(site.objectPart);
    return type.find("chartex") != std::string::npos ||
           site.objectPart.find("chartEx") != std::string::npos;
}

}  // namespace

namespace detail {

using graph::detail::CellData;
using graph::detail::CellGrid;
using graph::detail::CellPos;

struct ChartServerImpl {
    office::detail::ObjectSite site;
    bool quit = false;

    graph::detail::ChartData data;
    graph::detail::DataLayout layout;
    CellGrid cells;  // the data sheet, by sheet position
    // Where the data sheet was written since the last Update: the cells of `cells` inside these
    // areas go to the workbook.
    std::vector<graph::detail::Area> dirty;
    std::shared_ptr<excel::SheetCells> workbook;
    std::string workbookPart;
    // The compound file (an OLE object part) that wraps the workbook, if any.
    std::optional<compound::File> wrapper;
    bool date1904 = false;
    std::optional<std::string> caption;
    std::optional<graph::detail::Area> pasted;  // the data sheet cells of the last paste
    Leftovers leftovers;                        // beyond that paste, as of the last Update
    Replacement replacement;                    // for a chart that takes another object's place
    std::function<void()> updated;              // the replacement's hook after every Update

    explicit ChartServerImpl(office::detail::ObjectSite s) : site(std::move(s)) {}

    void check() const {
        site.document->checkOpen();
        if (quit) {
            throw Error(ErrorCode::ObjectClosed,
                        site.where() + ": object closed: the chart server has quit");
        }
    }

    package::Package& package() { return site.document->package; }
    pugi::xml_document& chart() { return package().xml(site.objectPart); }

    void load();
    void openWorkbook();
    void useWorkbook(std::vector<std::uint8_t> bytes, const std::string& part);
    // Writes a data sheet cell into every sheet cell that it feeds.
    void set(int row, int column, const CellData& cell) {
        for (const CellPos& pos : layout.sheetCells(row, column)) {
            cells.set(pos, cell);
            markDirty(pos);
        }
    }
    // Notes a written sheet cell: it joins the last area noted when it lies right of it in the
    // same row, so that a pasted block is a few areas, not one per cell.
    void markDirty(const CellPos& pos) {
        if (!dirty.empty()) {
            auto& last = dirty.back();
            if (last.top == pos.row && last.bottom == pos.row && last.right + 1 == pos.column) {
                last.right = pos.column;
                return;
            }
        }
        dirty.push_back({pos.row, pos.column, pos.row, pos.column});
    }
    // Every cell of the data sheet is to be written.
    void allDirty() {
        dirty.clear();
        if (const auto all = cells.bounds()) {
            dirty.push_back(*all);
        }
    }
    std::optional<CellData> at(int row, int column) const {
        return cells.find(layout.sheetCells(row, column).front());
    }
    pugi::xml_node colourStyle();
    void paste(int row, int column);
    void update();
    void saveWorkbook();
    void embedNewWorkbook();
};

void ChartServerImpl::openWorkbook() {
    pugi::xml_node external = chartml::child(chartml::child(chart(), "chartSpace"), "externalData");
    if (!external) {
        return;
    }
    const package::Relationships rels = package().relationships(site.objectPart);
    const package::Relationship* rel =
        rels.find(package::attribute(external, package::ns::kRelationships, "id").value());
    if (!rel || rel->external) {
        return;  // linked to an outside file: the data sheet comes from the caches
    }
    const std::string part = package::resolveTarget(site.objectPart, rel->target);
    if (!package().has(part)) {
        return;
    }
    const auto pending = std::dynamic_pointer_cast<PendingWorkbook>(package().deferred(part));
    if (pending && pending->book()->sheetName() == layout.sheet) {
        workbook = pending->book();
        workbookPart = part;
        return;
    }
    const std::string raw = package().read(part);
    std::vector<std::uint8_t> bytes(raw.begin(), raw.end());
    if (compound::isCompoundFile(bytes)) {
        // An OLE object part: the workbook is its "Package" stream.
        wrapper = compound::File::openBytes(std::move(bytes),
                                            site.document->package.displayName() + ": " + part);
        if (!wrapper->hasStream("Package")) {
            throw Error(ErrorCode::NotSupported,
                        site.where() + ": the chart's data is kept in " + part +
                            ", a binary object without a workbook package; open and save the "
                            "chart in an office suite to convert it");
        }
        bytes = wrapper->readStream("Package");
    }
    useWorkbook(std::move(bytes), part);
}

// Opens the data workbook through the workbook code, on the data sheet's sheet (or its first
// worksheet). A binary workbook is refused, naming the shape.
void ChartServerImpl::useWorkbook(std::vector<std::uint8_t> bytes, const std::string& part) {
    auto package = package::Package::openBytes(
        std::move(bytes), site.document->package.displayName() + ": " + part, "workbook");
    if (excel::isBinaryWorkbook(package)) {
        throw Error(ErrorCode::NotSupported,
                    site.where() + ": the chart's data is kept in " + part +
                        ", a workbook in the binary format (.xlsb), whose cells cannot be "
                        "filled; open the chart's data in an office suite and save it as .xlsx");
    }
    workbook = std::make_shared<excel::SheetCells>(std::move(package), layout.sheet);
    workbookPart = part;
}

void ChartServerImpl::load() {
    if (isChartEx(site)) {
        throw Error(ErrorCode::NotSupported,
                    site.where() +
                        ": the chart is of a newer kind (waterfall, treemap, sunburst, "
                        "histogram, box and whisker or funnel) whose data cannot be filled; "
                        "use a classic chart kind in the template");
    }
    data = graph::detail::readChart(chart(), site.where() + ": " + site.objectPart);
    if (data.series.empty()) {
        graph::detail::addFirstSeries(chart(), data, site.where() + ": " + site.objectPart);
    }
    const auto fromRanges = graph::detail::layoutFromRanges(data.series);
    layout = fromRanges ? *fromRanges : graph::detail::defaultLayout(data.series);
    if (!fromRanges && !data.sheet.empty()) {
        layout.sheet = data.sheet;  // areas the grid cannot hold: their sheet takes the data
    }
    if (layout.sheet.empty()) {
        layout.sheet = "Sheet1";  // ranges without a sheet name: a new workbook's sheet
    }
    openWorkbook();
    if (workbook && fromRanges) {
        if (layout.sheet.empty() || layout.sheet != workbook->sheetName()) {
            layout.sheet = workbook->sheetName();
        }
        cells = workbook->readGrid(layout.region());
        graph::detail::fitToCells(layout, cells);
        date1904 = workbook->date1904();
        return;
    }
    // No workbook to read, or ranges that do not fit one: the caches are the data, and all of
    // it is written to the workbook at Update.
    if (workbook) {
        layout.sheet = workbook->sheetName();
        date1904 = workbook->date1904();
    } else {
        date1904 = data.date1904;
    }
    cells = graph::detail::cellsFromCaches(data, layout);
    allDirty();
}

void ChartServerImpl::paste(int row, int column) {
    const CellBlock& block = Clipboard::instance().block();
    if (block.empty()) {
        throw Error(ErrorCode::InvalidArgument,
                    site.where() + ": nothing to paste: the clipboard holds no cells");
    }
    if (row == 1) {
        graph::detail::takeHeaderLine(layout);
    }
    if (row == 1 && column == 1 && !data.series.front().xy) {
        // A block at the corner brings its own category columns (x values have one level).
        const auto [lines, fields] = layout.oriented(block.rows, block.columns);
        const int levels = graph::detail::labelColumnsOf(
            lines, fields, layout.categoryLevels, [&](int line, int field) {
                const auto [r, c] = layout.oriented(line, field);
                return &block.at(r, c).value;
            });
        graph::detail::setCategoryLevels(layout, levels);
    }
    graph::detail::growLayout(layout, row - 1 + block.rows, column - 1 + block.columns);
    for (int r = 0; r < block.rows; ++r) {
        for (int c = 0; c < block.columns; ++c) {
            set(row + r, column + c, block.at(r, c));
        }
    }
    pasted = graph::detail::Area{row, column, row + block.rows - 1, column + block.columns - 1};
}

// The chart's colour style part (cs:colorStyle), where it has one: new series take its colours.
pugi::xml_node ChartServerImpl::colourStyle() {
    package::Relationships rels = package().relationships(site.objectPart);
    for (const package::Relationship& rel : rels.items()) {
        if (rel.external || !rel.type.ends_with("/chartColorStyle")) {
            continue;
        }
        const std::string part = package::resolveTarget(site.objectPart, rel.target);
        if (package().has(part)) {
            return package().xml(part).document_element();
        }
    }
    return {};
}

void ChartServerImpl::embedNewWorkbook() {
    const std::string part =
        package().freePartName("ppt/embeddings/Microsoft_Excel_Worksheet#.xlsx");
    // The new workbook takes the chart's flavour, transitional or Strict.
    const bool strict =
        package::isStrictUri(package::namespaceOf(chartml::child(chart(), "chartSpace")));
    useWorkbook(newWorkbook(layout.sheet, strict), part);
    allDirty();

    package::Relationships rels = package().relationships(site.objectPart);
    pugi::xml_node space = chartml::child(chart(), "chartSpace");
    pugi::xml_node external = chartml::child(space, "externalData");
    if (external) {
        rels.remove(package::attribute(external, package::ns::kRelationships, "id").value());
        space.remove_child(external);
    }
    const std::string id =
        rels.add(std::string(kPackageRel), package::relativeTarget(site.objectPart, part));
    package().setRelationships(site.objectPart, rels);
    package().setContentType(part, kSheetType);

    external = package::insertInOrder(space, package::ns::kChart, "externalData", kSpaceOrder);
    package::setAttribute(external, package::ns::kRelationships, "id", id);
    chartml::append(external, "autoUpdate").append_attribute("val") = "0";
}

void ChartServerImpl::update() {
    if (replacement.replace) {
        const auto replace = std::move(replacement.replace);
        replacement = {};
        replace();
    }
    if (!workbook && !workbookPart.empty()) {
        openWorkbook();  // let go of after the last Update
    }
    if (!workbook) {
        embedNewWorkbook();
    }
    saveWorkbook();
    graph::detail::writeChart(chart(), data, layout, cells, date1904, colourStyle());
    if (pasted) {
        leftovers = graph::detail::leftoversOf(layout, cells, *pasted);
    }
    if (caption) {
        graph::detail::setTitleText(chart(), *caption);
    }
    package().markDirty(site.objectPart);
    if (updated) {
        updated();
    }
}

// Writes the changed cells into the workbook and the workbook into the presentation: a small
// one as a model that the presentation saves when it needs the bytes (PendingWorkbook), a
// larger one saved now. A large workbook's trees are let go of until the next Update opens the
// saved package again, so that a chart filled from a large block does not hold them while its
// chart part is written.
void ChartServerImpl::saveWorkbook() {
    workbook->write(cells, dirty);
    if (!wrapper && cells.size() <= kPendingCells) {
        package().writeDeferred(workbookPart, std::make_shared<PendingWorkbook>(workbook));
        workbook.reset();
        dirty.clear();
        return;
    }
    auto bytes = workbook->save();
    workbook.reset();
    if (wrapper) {
        // The object's cached pictures show the old data: they go, and the office suite draws
        // the chart anew from the package.
        bytes = wrapper->rewrite({{"Package", std::move(bytes)}}, wrapper->cachedPictures());
    }
    package().write(workbookPart, std::string(bytes.begin(), bytes.end()));
    dirty.clear();
}

}  // namespace detail

// ---- the automation objects ---------------------------------------------------------------

ChartObject::ChartObject(std::shared_ptr<detail::ChartServerImpl> server)
    : server_(std::move(server)) {}

std::shared_ptr<graph::Application> ChartObject::Application() {
    server_->check();
    return std::make_shared<graph::Application>(server_);
}

std::shared_ptr<Dispatch> ChartObject::GetProperty(std::string_view name) {
    if (name == "Application") {
        return Application();
    }
    return Dispatch::GetProperty(name);
}

Application::Application(std::shared_ptr<detail::ChartServerImpl> server)
    : server_(std::move(server)) {}

std::shared_ptr<graph::DataSheet> Application::DataSheet() {
    server_->check();
    return std::make_shared<graph::DataSheet>(server_);
}

std::shared_ptr<graph::Chart> Application::Chart() {
    server_->check();
    return std::make_shared<graph::Chart>(server_);
}

void Application::Update() {
    server_->check();
    server_->update();
}

Leftovers Application::LeftoverData() const {
    return server_->leftovers;
}

void Application::Quit() {
    server_->check();
    server_->quit = true;
    if (server_->replacement.discard) {
        const auto discard = std::move(server_->replacement.discard);
        server_->replacement = {};
        discard();
        return;
    }
    // The chart part's tree and the workbook are not needed any more; a run that fills
    // hundreds of charts keeps only the serialised parts until the presentation is saved.
    server_->workbook.reset();
    // Nor is the data sheet: a large one is let go of before the chart part is serialised.
    server_->cells = {};
    server_->package().release(server_->site.objectPart);
    // Nothing holds the slide's tree between calls (shapes find their element afresh), so it
    // can go too; it is parsed again if the slide is used once more.
    server_->package().release(server_->site.slidePart);
}

void Application::CallMethod(std::string_view name) {
    if (name == "Update") {
        return Update();
    }
    if (name == "Quit") {
        return Quit();
    }
    Dispatch::CallMethod(name);
}

DataSheet::DataSheet(std::shared_ptr<detail::ChartServerImpl> server)
    : server_(std::move(server)) {}

std::shared_ptr<DataSheetRange> DataSheet::Cells(int row, int column) {
    server_->check();
    if (row < 1 || column < 1) {
        throw Error(ErrorCode::InvalidArgument,
                    server_->site.where() + ": no data sheet cell (" + std::to_string(row) + ", " +
                        std::to_string(column) + "): rows and columns count from 1");
    }
    return std::make_shared<DataSheetRange>(server_, row, column);
}

DataSheetRange::DataSheetRange(std::shared_ptr<detail::ChartServerImpl> server, int row, int column)
    : server_(std::move(server)), row_(row), column_(column) {}

office::Value DataSheetRange::Value() const {
    server_->check();
    const auto cell = server_->at(row_, column_);
    return cell ? cell->value : office::Value();
}

void DataSheetRange::SetValue(const office::Value& value) {
    server_->check();
    detail::CellData cell;
    if (const auto old = server_->at(row_, column_)) {
        cell.numberFormat = old->numberFormat;
    }
    cell.value = value;
    graph::detail::growLayout(server_->layout, row_, column_);
    server_->set(row_, column_, cell);
}

void DataSheetRange::Paste() {
    server_->check();
    server_->paste(row_, column_);
}

void DataSheetRange::CallMethod(std::string_view name) {
    if (name == "Paste") {
        return Paste();
    }
    Dispatch::CallMethod(name);
}

Chart::Chart(std::shared_ptr<detail::ChartServerImpl> server) : server_(std::move(server)) {}

bool Chart::HasTitle() const {
    server_->check();
    return graph::detail::hasTitle(server_->chart());
}

std::shared_ptr<graph::ChartTitle> Chart::ChartTitle() {
    if (!HasTitle()) {
        throw Error(ErrorCode::InvalidArgument, server_->site.where() + ": the chart has no title");
    }
    return std::make_shared<graph::ChartTitle>(server_);
}

ChartTitle::ChartTitle(std::shared_ptr<detail::ChartServerImpl> server)
    : server_(std::move(server)) {}

std::string ChartTitle::Caption() const {
    server_->check();
    if (server_->caption) {
        return *server_->caption;
    }
    return graph::detail::titleText(server_->chart());
}

void ChartTitle::SetCaption(const std::string& caption) {
    server_->check();
    server_->caption = caption;
}

}  // namespace office::graph

namespace office::detail {

std::shared_ptr<Dispatch> openChartObject(const ObjectSite& site) {
    site.document->checkOpen();
    if (!site.nativeChart && graph::msgraph::isGraphObject(site)) {
        return graph::msgraph::openGraphObject(site);
    }
    if (!site.nativeChart) {
        throw Error(ErrorCode::NotSupported,
                    site.where() + ": the chart is a legacy binary chart object (" + site.progId +
                        ") that cannot be filled; replace it with a native chart");
    }
    if (site.objectPart.empty()) {
        throw Error(ErrorCode::NotSupported,
                    site.where() + ": the chart's part is missing from the presentation");
    }
    auto server = std::make_shared<graph::detail::ChartServerImpl>(site);
    server->load();
    return std::make_shared<graph::ChartObject>(std::move(server));
}

}  // namespace office::detail

namespace office::graph::detail {

std::shared_ptr<Dispatch> openReplacementChart(const office::detail::ObjectSite& site,
                                               Replacement replacement) {
    auto server = std::make_shared<ChartServerImpl>(site);
    server->load();
    if (replacement.dataSheet) {
        server->cells = std::move(*replacement.dataSheet);
        server->allDirty();
        replacement.dataSheet.reset();
    }
    server->updated = std::move(replacement.updated);
    server->replacement = std::move(replacement);
    return std::make_shared<graph::ChartObject>(std::move(server));
}

}  // namespace office::graph::detail
