#pragma once

// The conversion engine: one run from a source workbook and a template presentation to an
// output presentation. Each worksheet fills the slides that bear its name; the table blocks
// that stand one below the other in column A of the worksheet go, one after the other, into
// the shape that the slide's tag "name" names: the data sheet of a chart, or the first
// worksheet of an embedded workbook.
//
// The engine talks to the office host only through its object model. It handles no failure:
// the first failing office operation ends the run with its office::Error, and what was opened
// stays open until the next run.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "office/excel.h"
#include "office/powerpoint.h"

namespace MDL_PptReport {

// The applications of the current run. Replaced at the start of every run; null after a
// successful run.
extern std::shared_ptr<office::excel::Application> EngineXlsApp;
extern std::shared_ptr<office::ppt::Application> EnginePptApp;
// The workbook opened from the workbook path for the current run.
extern std::shared_ptr<office::excel::Workbook> SourceWorkbook;

// Something a run left undone or did on a guess, said to the user after the run. The run goes
// on after each; a caller may still treat any warning as a failure.
struct RunWarning {
    enum class Kind {
        SheetFillsNoSlide,    // no slide bears the worksheet's name
        SlideWithoutSheet,    // a linked slide whose name no worksheet bears
        SheetWithoutBlock,    // a worksheet that fills slides but has no table block
        ShapeChosenByPart,    // no shape is named as the tag says; one whose name occurs in it
        FormulaWithoutValue,  // a formula cell of a transferred block holds no computed value
        DataKeptBeyondBlock,  // a filled chart keeps series or categories beyond its last block
    };
    Kind kind;
    std::string text;  // one line, naming the worksheet, slide and shape concerned
};

// One shape that a run filled: where from and where to.
struct FilledShape {
    std::string sheet;
    int slideIndex = 0;
    std::string slideName;
    std::string shape;
    int blocks = 0;
};

// What a run filled, counted on the way; reported by ConvertReport after a successful run.
struct RunStatistics {
    int sheets = 0;                    // sheets walked
    int slides = 0;                    // slides that received at least one block
    int shapes = 0;                    // target shapes filled (one per filled slide)
    int blocks = 0;                    // table blocks transferred
    std::vector<FilledShape> filled;   // in the order of the run
    std::vector<RunWarning> warnings;  // in the order of the run, each said once
    std::string writtenPath;           // the file saved; empty when nothing was saved
};

struct RunOptions {
    // Does the whole run, fills and all, but saves nothing.
    bool dryRun = false;
    // Saves nothing when the run has a warning; the run itself succeeds.
    bool strict = false;
    // When given, told how far the run has come: once with no slide done when both files are
    // open, then after each slide that a worksheet filled (or left as it was for want of a
    // block). slidesLinked is the number of slides whose name a worksheet bears. Called on the
    // run's own thread.
    std::function<void(int slidesDone, int slidesLinked)> progress = {};
};

// One run: opens the workbook and the template in new applications of the engine's own,
// fills every slide whose name equals a worksheet's name (sheets that are no worksheets --
// chart, dialog and macro sheets -- are passed over), saves the result under outputPath
// (atomically; nothing is written anywhere else), closes everything and quits both
// applications. Throws the first office::Error, its text prefixed with the workbook, worksheet,
// block, template, slide and shape the run was working on; the output then does not exist, or
// an earlier file at outputPath is as it was. When statistics is given, it receives the counts
// and warnings of a successful run.
void ConvertReport(const std::string& workbookPath, const std::string& templatePath,
                   const std::string& outputPath, RunStatistics* statistics = nullptr,
                   const RunOptions& options = {});

// Fills every slide of the presentation whose name equals the worksheet's name.
void FillSheetSlides(const std::shared_ptr<office::excel::Worksheet>& sheet,
                     const std::shared_ptr<office::ppt::Presentation>& presentation);

// Transfers every block of the worksheet, top to bottom, into the slide.
void FillSlide(const std::shared_ptr<office::excel::Worksheet>& sheet,
               const std::shared_ptr<office::ppt::Slide>& slide);

// Moves cell down column A to the next non-blank cell among the ten from cell on. Returns
// true when all ten are blank (cell then stands ten rows lower), false when cell now is the
// next block's marker cell. Fails with OutOfSheet at the sheet's last row.
bool SkipToNextBlock(std::shared_ptr<office::excel::Range>& cell);

// True when the cell is blank and no vertical line runs along its right edge (neither its own
// right border nor its right neighbour's left border). Reads all three every time.
bool IsBeyondBlock(const std::shared_ptr<office::excel::Range>& cell);

// The last row (down = true) or last column (down = false) of the table that starts at
// firstCell, walking until IsBeyondBlock or the last row or column that holds a cell. The
// first cell itself is never tested.
int FindBlockEdge(const std::shared_ptr<office::excel::Range>& firstCell, bool down);

// The table area that starts at firstCell; nextRow receives the row right after it.
std::shared_ptr<office::excel::Range> GetBlockRange(
    const std::shared_ptr<office::excel::Worksheet>& sheet,
    const std::shared_ptr<office::excel::Range>& firstCell, int& nextRow);

// Transfers the block whose marker line is marker into the slide's target shape. Returns the
// cell in column A of the row after the table, where the search for the next block resumes.
// Fails with ObjectRequired, naming worksheet, slide and tag value, when the slide has no
// target shape.
std::shared_ptr<office::excel::Range> TransferBlock(
    const std::shared_ptr<office::excel::Worksheet>& sheet,
    const std::shared_ptr<office::excel::Range>& marker,
    const std::shared_ptr<office::ppt::Slide>& slide);

// The shape of the slide whose name equals the slide's tag "name"; when none does, the first
// shape whose name occurs in the tag, letter case ignored (the run then warns which shape it
// chose); null when neither exists or the slide has no such tag.
std::shared_ptr<office::ppt::Shape> GetMappedShape(
    const std::shared_ptr<office::ppt::Slide>& slide);

// Chooses the path: a slide whose tag "Type" is "Table" fills its native table; otherwise the
// shape's ProgID decides: "graph" in it (any case) is a chart, anything else an embedded
// workbook.
void FillShape(const std::shared_ptr<office::excel::Range>& area,
               const std::shared_ptr<office::ppt::Shape>& shape, const std::string& title);

// Copies the area to A1 of the first worksheet of the shape's embedded workbook, then closes
// the workbook, which writes it back into the presentation. The title is not used.
void FillWorkbookObject(const std::shared_ptr<office::excel::Range>& area,
                        const std::shared_ptr<office::ppt::Shape>& shape, const std::string& title);

// Writes the area into the shape's native table, each cell's text as the workbook displays it,
// the area's first cell into the table's first cell; the table takes the area's size (see
// office::ppt::Table::Fill). The title is not used.
void FillTable(const std::shared_ptr<office::excel::Range>& area,
               const std::shared_ptr<office::ppt::Shape>& shape, const std::string& title);

// Pastes the area at the first cell of the chart's data sheet through the clipboard, sets the
// chart title where the chart shows one, updates the chart and quits its chart server.
void FillGraphChart(const std::shared_ptr<office::excel::Range>& area,
                    const std::shared_ptr<office::ppt::Shape>& shape, const std::string& title);

}  // namespace MDL_PptReport
