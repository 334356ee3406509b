#include "engine/MDL_PptReport.h"

#include <string_view>
#include <vector>

#include <QString>

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

// Counts of the run in progress; handed out only when the run succeeds.
RunStatistics currentRun;

// True when needle occurs anywhere in haystack, letter case ignored (Unicode case folding,
// so names in any script compare as the user sees them). An empty haystack holds nothing.
bool containsNoCase(const std::string& haystack, const std::string& needle) {
    if (haystack.empty()) {
        return false;
    }
    return QString::fromStdString(haystack).contains(QString::fromStdString(needle),
                                                     Qt::CaseInsensitive);
}

// Quits an application that an earlier, failed run left behind, then drops the reference.
template <class App>
void quitLeftOver(std::shared_ptr<App>& app) {
    if (app && app->IsRunning()) {
        app->Quit();
    }
    app.reset();
}

void closeAllWorkbooks(const std::shared_ptr<excel::Application>& app) {
    auto books = app->Workbooks();
    const int count = books->Count();
    // Closing a workbook moves the later ones down, so the first one is closed each time.
    for (int i = 1; i <= count; ++i) {
        books->Item(1)->Close();
    }
}

void closeAllPresentations(const std::shared_ptr<ppt::Application>& app) {
    auto presentations = app->Presentations();
    const int count = presentations->Count();
    for (int i = 1; i <= count; ++i) {
        presentations->Item(1)->Close();
    }
}

// Closes the workbooks without saving and quits the spreadsheet application; the source
// workbook is never written.
void shutDownSpreadsheet() {
    closeAllWorkbooks(EngineXlsApp);
    EngineXlsApp->SetDisplayAlerts(true);
    EngineXlsApp->Quit();
    SourceWorkbook.reset();
    EngineXlsApp.reset();
}

// Closes the presentations (the result is already saved) and quits the presentation
// application.
void shutDownPresentation() {
    EnginePptApp->SetDisplayAlerts(ppt::ppAlertsNone);
    closeAllPresentations(EnginePptApp);
    EnginePptApp->SetDisplayAlerts(ppt::ppAlertsAll);
    EnginePptApp->Quit();
    EnginePptApp.reset();
}

[[noreturn]] void failNoTargetShape(const std::shared_ptr<excel::Worksheet>& sheet,
                                    const std::shared_ptr<ppt::Slide>& slide) {
    const std::string tag = slide->Tags()->Item("name");
    const std::string tagText =
        tag.empty() ? "has no tag \"name\"" : "names \"" + tag + "\" in its tag \"name\"";
    throw office::Error(office::ErrorCode::ObjectRequired,
                        "worksheet \"" + sheet->Name() + "\": slide " +
                            std::to_string(slide->SlideIndex()) + " (\"" + slide->Name() + "\") " +
                            tagText + ", and no shape of the slide has that name");
}

}  // namespace

void ConvertReport(const std::string& workbookPath, const std::string& templatePath,
                   const std::string& outputPath, RunStatistics* statistics) {
    currentRun = {};

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

    auto sheets = SourceWorkbook->Sheets();
    const int sheetCount = sheets->Count();
    for (int index = 1; index <= sheetCount; ++index) {
        auto sheet = office::As<excel::Worksheet>(sheets->Item(index));
        FillSheetSlides(sheet, presentation);
        ++currentRun.sheets;
    }

    presentation->SaveAs(outputPath, ppt::ppSaveAsPresentation, ppt::msoTriStateMixed);
    presentation.reset();

    shutDownSpreadsheet();
    shutDownPresentation();

    if (statistics) {
        *statistics = currentRun;
    }
}

void FillSheetSlides(const std::shared_ptr<excel::Worksheet>& sheet,
                     const std::shared_ptr<ppt::Presentation>& presentation) {
    auto slides = presentation->Slides();
    const int slideCount = slides->Count();
    for (int index = 1; index <= slideCount; ++index) {
        auto slide = slides->Item(index);
        if (sheet->Name() != slide->Name()) {
            continue;
        }
        FillSlide(sheet, slide);
    }
}

void FillSlide(const std::shared_ptr<excel::Worksheet>& sheet,
               const std::shared_ptr<ppt::Slide>& slide) {
    auto cell = sheet->Range("A1");
    int blocks = 0;
    while (!SkipToNextBlock(cell)) {
        cell = TransferBlock(sheet, cell, slide);
        ++blocks;
    }
    if (blocks == 0) {
        return;
    }
    currentRun.blocks += blocks;
    ++currentRun.slides;
    ++currentRun.shapes;
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
    auto current = firstCell;
    for (;;) {
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
    auto shape = GetMappedShape(slide);
    auto titleCell = marker->Offset(1, 0);
    // The title as the workbook displays it, so that a date or a formatted number reads
    // as the user sees it on the worksheet.
    const std::string title = titleCell->Text();
    auto firstCell = titleCell->Offset(1, 0);
    int nextRow = 0;
    auto area = GetBlockRange(sheet, firstCell, nextRow);
    if (!shape) {
        failNoTargetShape(sheet, slide);
    }
    FillShape(area, shape, title);
    return sheet->Cells(nextRow, 1);
}

std::shared_ptr<ppt::Shape> GetMappedShape(const std::shared_ptr<ppt::Slide>& slide) {
    const std::string tag = slide->Tags()->Item("name");
    auto shapes = slide->Shapes();
    const int shapeCount = shapes->Count();
    for (int index = 1; index <= shapeCount; ++index) {
        auto shape = shapes->Item(index);
        if (containsNoCase(tag, shape->Name())) {
            return shape;
        }
    }
    return nullptr;
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
    chartApp->Quit();
}

}  // namespace MDL_PptReport
