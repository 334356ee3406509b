#include "engine/MDL_PptReport.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QString>

#include "engine/QuitApplication.h"
#include "office/dispatch.h"
#include "office/error.h"
#include "office/graph.h"

namespace MDL_PptReport {

std::shared_ptr<office::excel::Application> EngineXlsApp;
std::shared_ptr<office::ppt::Application> EnginePptApp;
std::shared_ptr<office::excel::Workbook> SourceWorkbook;

namespace {

namespace excel = office::excel;
namespace ppt = office::ppt;
namespace graph = office::graph;

// How many cells of column A the search for the next marker line examines.
constexpr int kBlockSearchLimit = 10;

// The value of the slide tag "Type" that links a native table.
constexpr std::string_view kTableType = "Table";

// True when needle occurs anywhere in haystack, letter case ignored (Unicode case folding,
// so names in any script compare as the user sees them). An empty haystack holds nothing.
bool containsNoCase(const std::string& haystack, const std::string& needle) {
    if (haystack.empty()) {
        return false;
    }
    return QString::fromStdString(haystack).contains(QString::fromStdString(needle),
                                                     Qt::CaseInsensitive);
}

std::string quote(const std::string& text) {
    return "\"" + text + "\"";
}

std::string fileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string lowerExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// A PowerPoint 97-2003 template is written in its own format only. Asking for another output
// is refused before the run, rather than after filling every slide.
void checkOutputFormat(const std::string& templatePath, const std::string& outputPath) {
    const std::string output = lowerExtension(outputPath);
    if (lowerExtension(templatePath) == ".ppt" && !output.empty() && output != ".ppt") {
        throw office::Error(office::ErrorCode::InvalidArgument,
                            fileNameOf(outputPath) + ": cannot save as \"" + output +
                                "\": a PowerPoint 97-2003 presentation is written as .ppt; "
                                "converting it to another format is not supported yet");
    }
}

std::string slideText(int index, const std::string& name) {
    return "slide " + std::to_string(index) + " (" + quote(name) + ")";
}

// The indexes (from 1) of the slides of one presentation, by slide name, in slide order.
struct SlideIndex {
    std::weak_ptr<ppt::Presentation> presentation;
    int slideCount = 0;
    std::unordered_map<std::string, std::vector<int>> byName;

    bool holds(const std::shared_ptr<ppt::Presentation>& wanted, int count) const {
        return presentation.lock() == wanted && slideCount == count;
    }
};

// The slides of the presentation that bear `name`, in slide order; the index is made anew when
// it is of another presentation or of another slide count.
const std::vector<int>& slidesNamed(SlideIndex& index,
                                    const std::shared_ptr<ppt::Presentation>& presentation,
                                    const std::shared_ptr<ppt::Slides>& slides,
                                    const std::string& name) {
    const int count = slides->Count();
    if (!index.holds(presentation, count)) {
        index = {presentation, count, {}};
        for (int slide = 1; slide <= count; ++slide) {
            index.byName[slides->Item(slide)->Name()].push_back(slide);
        }
    }
    static const std::vector<int> none;
    const auto found = index.byName.find(name);
    return found == index.byName.end() ? none : found->second;
}

// What the run is working on, so that a failure can say where it happened.
struct Position {
    std::string workbook;  // file names
    std::string presentation;
    std::string sheet;
    int blockRow = 0;
    int slideIndex = 0;
    std::string slideName;
    std::string shape;
};

// Everything a run keeps beside the module state: where it is, what it counted and warned of,
// and what the chart filled last left behind. ConvertReport makes one for each run; the
// procedures of the run reach it through ActiveReport.
struct RunReport {
    RunStatistics statistics;
    Position position;
    // Slides whose name equalled the worksheet's, counted by FillSheetSlides.
    int slidesMatched = 0;
    // What the chart filled last still shows beyond its pasted block.
    graph::Leftovers chartLeftovers;
    // Told after every matched slide; slidesLinked is counted only when there is someone to tell.
    std::function<void(int, int)> progress;
    int slidesLinked = 0;
    // The slides of the presentation by name, so that a worksheet finds its slides without a
    // walk over every slide of the deck: such a walk for each worksheet made a run quadratic.
    // Made on the first use for a presentation, and made again when it has another one or its
    // slide count changed.
    SlideIndex slideIndex;
};

// The report of the run in progress on this thread; null between runs. The window runs the
// engine on a thread of its own.
thread_local RunReport* activeRun = nullptr;

// The report of the run in progress. A procedure called on its own, outside a run, reports
// into one of its own that ends with the call.
class ActiveReport {
public:
    ActiveReport() {
        if (!activeRun) {
            own_.emplace();
            activeRun = &*own_;
        }
    }
    explicit ActiveReport(RunReport& run) : previous_(activeRun), installed_(true) {
        activeRun = &run;
    }
    ~ActiveReport() {
        if (own_ || installed_) {
            activeRun = previous_;
        }
    }
    ActiveReport(const ActiveReport&) = delete;
    ActiveReport& operator=(const ActiveReport&) = delete;
    RunReport& operator*() const { return *activeRun; }
    RunReport* operator->() const { return activeRun; }

private:
    std::optional<RunReport> own_;
    RunReport* previous_ = nullptr;
    bool installed_ = false;
};

// "blocks.xlsx: worksheet "Sales", block from row 7; charts.pptx: slide 2 ("Sales"), shape
// "Bar Chart"" -- as much of it as the run has reached.
std::string positionText(const Position& position) {
    std::string text = position.workbook;
    if (!position.sheet.empty()) {
        text += ": worksheet " + quote(position.sheet);
    }
    if (position.blockRow > 0) {
        text += ", block from row " + std::to_string(position.blockRow);
    }
    if (position.slideIndex > 0) {
        text += "; " + position.presentation + ": " +
                slideText(position.slideIndex, position.slideName);
    }
    if (!position.shape.empty()) {
        text += ", shape " + quote(position.shape);
    }
    return text;
}

// Whether the text starts by naming the position's slide of the presentation, as the failures of
// a slide and its shapes do ("charts.pptx: slide 2, shape ...").
bool namesSlide(const std::string& text, const Position& position) {
    const std::string slide =
        position.presentation + ": slide " + std::to_string(position.slideIndex);
    return text.starts_with(slide) &&
           (text.size() == slide.size() ||
            !std::isdigit(static_cast<unsigned char>(text[slide.size()])));
}

// The failure's text after the run's position. A failure that names the slide and shape itself
// follows only the workbook's part of the position, so that each place is named once.
std::string placedText(const Position& position, const std::string& text) {
    if (position.slideIndex > 0 && namesSlide(text, position)) {
        Position workbookPart = position;
        workbookPart.slideIndex = 0;
        workbookPart.shape.clear();
        return positionText(workbookPart) + "; " + text;
    }
    return positionText(position) + ": " + text;
}

void warn(RunReport& run, RunWarning::Kind kind, const std::string& text) {
    auto& warnings = run.statistics.warnings;
    const bool known = std::any_of(warnings.begin(), warnings.end(),
                                   [&](const RunWarning& w) { return w.text == text; });
    if (!known) {
        warnings.push_back({kind, text});
    }
}

// Looks through the shapes and, at any depth, the members of their groups, in stacking order
// with a group's members after the group: the shape named exactly as the tag says, else the
// first non-group shape whose name occurs in it (a group holds no chart or table itself).
std::shared_ptr<ppt::Shape> findInShapes(ppt::Shapes& shapes, const std::string& tag,
                                         std::shared_ptr<ppt::Shape>& partial) {
    const int shapeCount = shapes.Count();
    for (int index = 1; index <= shapeCount; ++index) {
        auto shape = shapes.Item(index);
        const std::string name = shape->Name();
        if (!tag.empty() && name == tag) {
            return shape;
        }
        if (!shape->IsGroup()) {
            if (!partial && containsNoCase(tag, name)) {
                partial = shape;
            }
        } else if (auto found = findInShapes(*shape->GroupItems(), tag, partial)) {
            return found;
        }
    }
    return nullptr;
}

// The shape named exactly as the tag says, else the first whose name occurs in it; exact
// tells which of the two was found.
std::shared_ptr<ppt::Shape> findMappedShape(const std::shared_ptr<ppt::Slide>& slide, bool& exact) {
    const std::string tag = slide->Tags()->Item("name");
    std::shared_ptr<ppt::Shape> partial;
    if (auto shape = findInShapes(*slide->Shapes(), tag, partial)) {
        exact = true;
        return shape;
    }
    exact = false;
    return partial;
}

// Quits an application that an earlier, failed run left behind, then drops the reference; one
// that has quit already is only dropped.
template <class App>
void quitLeftOver(std::shared_ptr<App>& app) {
    if (app && !app->IsRunning()) {
        app.reset();
    }
    QuitApplication(app, OpenDocuments::Leave);
}

// Closes the workbooks without saving and quits the spreadsheet application; the source
// workbook is never written.
void shutDownSpreadsheet() {
    QuitApplication(EngineXlsApp, OpenDocuments::Close);
    SourceWorkbook.reset();
}

// The run's position already names the worksheet and the slide.
[[noreturn]] void failNoTargetShape(const std::shared_ptr<ppt::Slide>& slide) {
    const std::string tag = slide->Tags()->Item("name");
    throw office::Error(office::ErrorCode::ObjectRequired,
                        tag.empty() ? "the slide has no tag \"name\", so no shape is its target"
                                    : "the tag \"name\" names " + quote(tag) +
                                          ", and no shape of the slide has that name");
}

// How many cells a warning about formulas without a value names before it only counts.
constexpr std::size_t kCellsNamed = 5;

void warnFormulasWithoutValue(RunReport& run, const std::shared_ptr<excel::Worksheet>& sheet,
                              const std::shared_ptr<excel::Range>& area) {
    const auto cells = area->FormulasWithoutValue();
    if (cells.empty()) {
        return;
    }
    std::string named;
    for (std::size_t i = 0; i < cells.size() && i < kCellsNamed; ++i) {
        named += (i == 0 ? "" : ", ") + cells[i];
    }
    if (cells.size() > kCellsNamed) {
        named += " and " + std::to_string(cells.size() - kCellsNamed) + " more";
    }
    const bool one = cells.size() == 1;
    warn(run, RunWarning::Kind::FormulaWithoutValue,
         run.position.workbook + ": worksheet " + quote(sheet->Name()) + ", " +
             (one ? "cell " : "cells ") + named +
             (one ? ": the formula has" : ": the formulas have") + " no computed value and " +
             (one ? "is" : "are") +
             " filled in as blank; opening and saving the workbook in an office suite computes " +
             (one ? "it" : "them"));
}

std::string quotedList(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ", ") + quote(name);
    }
    return text;
}

// After the last block of a slide: the chart keeps what lies beyond that block.
void warnChartLeftovers(RunReport& run, const std::shared_ptr<ppt::Slide>& slide,
                        const std::string& shape) {
    const auto& left = run.chartLeftovers;
    if (left.series.empty() && left.categories.empty()) {
        return;
    }
    std::string kept;
    if (!left.series.empty()) {
        kept += "series " + quotedList(left.series);
    }
    if (!left.categories.empty()) {
        kept += (kept.empty() ? "" : "; ") +
                std::string(left.categories.size() == 1 ? "category " : "categories ") +
                quotedList(left.categories);
    }
    warn(run, RunWarning::Kind::DataKeptBeyondBlock,
         run.position.presentation + ": " + slideText(slide->SlideIndex(), slide->Name()) +
             ", shape " + quote(shape) +
             ": the chart keeps data beyond the last block pasted into it: " + kept);
}

// A slide that carries a link: a tag "name" or "type" of any value.
bool isLinked(const std::shared_ptr<ppt::Slide>& slide) {
    auto tags = slide->Tags();
    return !tags->Item("name").empty() || !tags->Item("type").empty();
}

std::set<std::string> worksheetNames(const std::shared_ptr<excel::Workbook>& book) {
    std::set<std::string> names;
    auto sheets = book->Sheets();
    const int count = sheets->Count();
    for (int index = 1; index <= count; ++index) {
        auto sheet = sheets->Item(index);
        if (sheet->IsWorksheet()) {
            names.insert(sheet->Name());
        }
    }
    return names;
}

void warnLinkedSlidesWithoutSheet(RunReport& run,
                                  const std::shared_ptr<ppt::Presentation>& presentation) {
    const auto sheets = worksheetNames(SourceWorkbook);
    auto slides = presentation->Slides();
    const int count = slides->Count();
    for (int index = 1; index <= count; ++index) {
        auto slide = slides->Item(index);
        if (sheets.contains(slide->Name()) || !isLinked(slide)) {
            continue;
        }
        warn(run, RunWarning::Kind::SlideWithoutSheet,
             run.position.presentation + ": " + slideText(index, slide->Name()) +
                 " is linked, but " + run.position.workbook + " has no worksheet of that name");
    }
}

// The slides that a worksheet of the source workbook will fill: those bearing its name.
int slidesToFill(const std::shared_ptr<ppt::Presentation>& presentation) {
    const auto sheets = worksheetNames(SourceWorkbook);
    auto slides = presentation->Slides();
    const int count = slides->Count();
    int linked = 0;
    for (int index = 1; index <= count; ++index) {
        linked += sheets.contains(slides->Item(index)->Name()) ? 1 : 0;
    }
    return linked;
}

// Walks the workbook's worksheets into the presentation, passing over chart, dialog and
// macro sheets, which hold no table blocks.
void fillFromWorkbook(RunReport& run, const std::shared_ptr<ppt::Presentation>& presentation) {
    auto& position = run.position;
    auto sheets = SourceWorkbook->Sheets();
    const int sheetCount = sheets->Count();
    for (int index = 1; index <= sheetCount; ++index) {
        auto item = sheets->Item(index);
        if (!item->IsWorksheet()) {
            continue;
        }
        auto sheet = office::As<excel::Worksheet>(item);
        position.sheet = sheet->Name();
        const int matchedBefore = run.slidesMatched;
        FillSheetSlides(sheet, presentation);
        if (run.slidesMatched == matchedBefore) {
            warn(run, RunWarning::Kind::SheetFillsNoSlide,
                 position.workbook + ": worksheet " + quote(position.sheet) +
                     " fills no slide: " + position.presentation + " has no slide of that name");
        }
        ++run.statistics.sheets;
    }
    position.sheet.clear();
}

}  // namespace

void ConvertReport(const std::string& workbookPath, const std::string& templatePath,
                   const std::string& outputPath, RunStatistics* statistics,
                   const RunOptions& options) {
    checkOutputFormat(templatePath, outputPath);
    RunReport run;
    const ActiveReport active(run);
    run.position.workbook = fileNameOf(workbookPath);
    run.position.presentation = fileNameOf(templatePath);
    run.progress = options.progress;

    // A failed run leaves its applications running; quit both before starting new ones.
    quitLeftOver(EngineXlsApp);
    EngineXlsApp = excel::Application::Create();
    EngineXlsApp->SetVisible(true);
    quitLeftOver(EnginePptApp);
    EnginePptApp = ppt::Application::Create();
    EnginePptApp->SetVisible(ppt::msoCTrue);

    SourceWorkbook = EngineXlsApp->Workbooks()->Open(workbookPath);
    auto presentation = EnginePptApp->Presentations()->Open(templatePath, ppt::msoFalse,
                                                            ppt::msoFalse, ppt::msoTrue);
    EngineXlsApp->SetDisplayAlerts(false);

    if (run.progress) {
        run.slidesLinked = slidesToFill(presentation);
        run.progress(0, run.slidesLinked);
    }
    try {
        fillFromWorkbook(run, presentation);
    } catch (const office::Error& error) {
        throw office::Error(error.code(), placedText(run.position, error.text()));
    }
    warnLinkedSlidesWithoutSheet(run, presentation);

    // Every slide is filled: the workbook goes before the save, which then has its memory.
    shutDownSpreadsheet();
    const bool refused = options.strict && !run.statistics.warnings.empty();
    if (!options.dryRun && !refused) {
        presentation->SaveAs(outputPath, ppt::ppSaveAsPresentation, ppt::msoTriStateMixed);
        run.statistics.writtenPath = presentation->FullName();
    }
    presentation.reset();

    // The result is already saved: the presentations close without saving.
    QuitApplication(EnginePptApp, OpenDocuments::Close);

    if (statistics) {
        *statistics = std::move(run.statistics);
    }
}

void FillSheetSlides(const std::shared_ptr<excel::Worksheet>& sheet,
                     const std::shared_ptr<ppt::Presentation>& presentation) {
    const ActiveReport run;
    auto& position = run->position;
    auto slides = presentation->Slides();
    const std::string sheetName = sheet->Name();
    // A copy: filling a slide may not change the names, but the index must not change under
    // the loop if it did.
    const std::vector<int> named = slidesNamed(run->slideIndex, presentation, slides, sheetName);
    for (const int index : named) {
        auto slide = slides->Item(index);
        if (slide->Name() != sheetName) {
            continue;  // renamed since the index was made
        }
        ++run->slidesMatched;
        position.slideIndex = index;
        position.slideName = slide->Name();
        FillSlide(sheet, slide);
        if (run->progress) {
            run->progress(run->slidesMatched, run->slidesLinked);
        }
    }
    position.slideIndex = 0;
    position.slideName.clear();
}

void FillSlide(const std::shared_ptr<excel::Worksheet>& sheet,
               const std::shared_ptr<ppt::Slide>& slide) {
    const ActiveReport run;
    auto& position = run->position;
    auto cell = sheet->Range("A1");
    int blocks = 0;
    std::string shapeName;
    run->chartLeftovers = {};
    while (!SkipToNextBlock(cell)) {
        position.blockRow = cell->Row();
        cell = TransferBlock(sheet, cell, slide);
        shapeName = position.shape;
        position.shape.clear();
        ++blocks;
    }
    position.blockRow = 0;
    if (blocks == 0) {
        warn(*run, RunWarning::Kind::SheetWithoutBlock,
             position.workbook + ": worksheet " + quote(sheet->Name()) +
                 " has no table block (rows 1 to " + std::to_string(kBlockSearchLimit) +
                 " of column A are blank), so " + slideText(slide->SlideIndex(), slide->Name()) +
                 " keeps the template's data");
        return;
    }
    warnChartLeftovers(*run, slide, shapeName);
    auto& statistics = run->statistics;
    statistics.blocks += blocks;
    ++statistics.slides;
    ++statistics.shapes;
    statistics.filled.push_back(
        {sheet->Name(), slide->SlideIndex(), slide->Name(), shapeName, blocks});
}

bool SkipToNextBlock(std::shared_ptr<excel::Range>& cell) {
    for (int examined = 0; examined < kBlockSearchLimit; ++examined) {
        if (!cell->Value().isBlank()) {
            return false;
        }
        cell = cell->Offset(1, 0);
    }
    return true;
}

bool IsBeyondBlock(const std::shared_ptr<excel::Range>& cell) {
    // All three are read on every call, as the automation model would be asked.
    const bool blank = cell->Value().isBlank();
    const bool noRightBorder = cell->Borders(excel::xlRight).LineStyle() == excel::xlNone;
    const bool noNeighbourLeftBorder =
        cell->Offset(0, 1)->Borders(excel::xlLeft).LineStyle() == excel::xlNone;
    return blank && noRightBorder && noNeighbourLeftBorder;
}

int FindBlockEdge(const std::shared_ptr<excel::Range>& firstCell, bool down) {
    const int rowStep = down ? 1 : 0;
    const int columnStep = down ? 0 : 1;
    // The walk ends with the sheet's cells: a line drawn by a row's or column's format alone
    // would otherwise carry the table to the sheet's edge.
    const auto used = firstCell->Worksheet()->UsedRange();
    const int last = down ? used->LastRow() : used->LastColumn();
    auto current = firstCell;
    while ((down ? current->Row() : current->Column()) < last) {
        auto next = current->Offset(rowStep, columnStep);
        if (IsBeyondBlock(next)) {
            break;
        }
        current = next;
    }
    return down ? current->Row() : current->Column();
}

std::shared_ptr<excel::Range> GetBlockRange(const std::shared_ptr<excel::Worksheet>& sheet,
                                            const std::shared_ptr<excel::Range>& firstCell,
                                            int& nextRow) {
    const int firstRow = firstCell->Row();
    const int firstColumn = firstCell->Column();
    const int lastRow = FindBlockEdge(firstCell, true);
    const int lastColumn = FindBlockEdge(firstCell, false);
    auto area =
        sheet->Range(sheet->Cells(firstRow, firstColumn), sheet->Cells(lastRow, lastColumn));
    nextRow = lastRow + 1;
    return area;
}

std::shared_ptr<excel::Range> TransferBlock(const std::shared_ptr<excel::Worksheet>& sheet,
                                            const std::shared_ptr<excel::Range>& marker,
                                            const std::shared_ptr<ppt::Slide>& slide) {
    const ActiveReport run;
    bool exact = false;
    auto shape = findMappedShape(slide, exact);
    if (shape) {
        run->position.shape = shape->Name();
    }
    if (shape && !exact) {
        warn(*run, RunWarning::Kind::ShapeChosenByPart,
             run->position.presentation + ": " + slideText(slide->SlideIndex(), slide->Name()) +
                 ": no shape is named " + quote(slide->Tags()->Item("name")) +
                 " as its tag \"name\" says; filled " + quote(shape->Name()) +
                 ", whose name occurs in it");
    }
    auto titleCell = marker->Offset(1, 0);
    // The title as the workbook displays it, so that a date or a formatted number reads
    // as the user sees it on the worksheet.
    const std::string title = titleCell->Text();
    auto firstCell = titleCell->Offset(1, 0);
    int nextRow = 0;
    auto area = GetBlockRange(sheet, firstCell, nextRow);
    if (!shape) {
        failNoTargetShape(slide);
    }
    warnFormulasWithoutValue(*run, sheet, area);
    FillShape(area, shape, title);
    return sheet->Cells(nextRow, 1);
}

std::shared_ptr<ppt::Shape> GetMappedShape(const std::shared_ptr<ppt::Slide>& slide) {
    bool exact = false;
    return findMappedShape(slide, exact);
}

void FillShape(const std::shared_ptr<excel::Range>& area, const std::shared_ptr<ppt::Shape>& shape,
               const std::string& title) {
    if (!shape) {
        throw office::Error(office::ErrorCode::ObjectRequired, "object variable not set");
    }
    // A native table is linked with the slide's tag "Type" = "Table"; the other kinds are told
    // apart by their ProgID alone.
    if (shape->Parent()->Tags()->Item("Type") == kTableType) {
        FillTable(area, shape, title);
        return;
    }
    const std::string progId = shape->OLEFormat()->ProgID();
    if (containsNoCase(progId, "graph")) {
        FillGraphChart(area, shape, title);
        return;
    }
    FillWorkbookObject(area, shape, title);
}

void FillWorkbookObject(const std::shared_ptr<excel::Range>& area,
                        const std::shared_ptr<ppt::Shape>& shape, const std::string& /*title*/) {
    auto book = office::As<excel::Workbook>(shape->OLEFormat()->Object());
    auto destination = book->Worksheets()->Item(1)->Range("A1");
    area->Copy(destination);
    destination.reset();
    book->Close();
}

void FillTable(const std::shared_ptr<excel::Range>& area, const std::shared_ptr<ppt::Shape>& shape,
               const std::string& /*title*/) {
    auto table = shape->Table();
    const int rows = area->RowCount();
    const int columns = area->ColumnCount();
    ppt::CellTexts texts(rows, std::vector<std::string>(columns));
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= columns; ++c) {
            texts[r - 1][c - 1] = area->Item(r, c)->Text();
        }
    }
    table->Fill(texts);
}

void FillGraphChart(const std::shared_ptr<excel::Range>& area,
                    const std::shared_ptr<ppt::Shape>& shape, const std::string& title) {
    auto object = shape->OLEFormat()->Object();
    if (!object) {
        throw office::Error(office::ErrorCode::ObjectRequired, "object variable not set");
    }
    auto chartApp = office::As<graph::Application>(object->GetProperty("Application"));
    area->Copy();
    chartApp->DataSheet()->Cells(1, 1)->CallMethod("Paste");
    auto chart = chartApp->Chart();
    if (chart->HasTitle()) {
        chart->ChartTitle()->SetCaption(title);
    }
    chartApp->Update();
    ActiveReport()->chartLeftovers = chartApp->LeftoverData();
    chartApp->Quit();
}

}  // namespace MDL_PptReport
