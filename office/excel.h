#pragma once

// The spreadsheet side of the office host: applications, workbooks, worksheets and ranges over
// real .xlsx/.xlsm files. Collections are indexed from 1. Every operation fails with
// office::Error; after Quit, and after a workbook's Close, every object that belongs to it fails
// with ErrorCode::ObjectClosed.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "office/dispatch.h"
#include "office/value.h"

namespace office::excel {

// XlWindowState
inline constexpr int xlMaximized = -4137;
inline constexpr int xlMinimized = -4140;
inline constexpr int xlNormal = -4143;

// XlBordersIndex, with the XlConstants xlLeft/xlRight/xlTop/xlBottom that Borders also takes.
inline constexpr int xlDiagonalDown = 5;
inline constexpr int xlDiagonalUp = 6;
inline constexpr int xlEdgeLeft = 7;
inline constexpr int xlEdgeTop = 8;
inline constexpr int xlEdgeBottom = 9;
inline constexpr int xlEdgeRight = 10;
inline constexpr int xlLeft = -4131;
inline constexpr int xlRight = -4152;
inline constexpr int xlTop = -4160;
inline constexpr int xlBottom = -4107;

// XlLineStyle
inline constexpr int xlLineStyleNone = -4142;
inline constexpr int xlNone = -4142;
inline constexpr int xlContinuous = 1;
inline constexpr int xlDashDot = 4;
inline constexpr int xlDashDotDot = 5;
inline constexpr int xlSlantDashDot = 13;
inline constexpr int xlDash = -4115;
inline constexpr int xlDot = -4118;
inline constexpr int xlDouble = -4119;

// The sheet's limits: a cell beyond them fails with ErrorCode::OutOfSheet.
inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;

class Application;
class Workbooks;
class Workbook;
class Sheets;
class Worksheets;
class Sheet;
class Worksheet;
class Range;

namespace detail {
struct ApplicationImpl;
struct WorkbookImpl;
struct SheetImpl;
}  // namespace detail

class Application : public Dispatch, public std::enable_shared_from_this<Application> {
public:
    static constexpr std::string_view kTypeName = "Application";

    // Starts a new spreadsheet application: not visible, normal window, alerts on, no workbook.
    static std::shared_ptr<Application> Create();

    bool Visible() const;
    void SetVisible(bool visible);
    int WindowState() const;
    // xlMaximized, xlMinimized or xlNormal; any other value fails with InvalidArgument.
    void SetWindowState(int state);
    bool DisplayAlerts() const;
    void SetDisplayAlerts(bool on);
    std::shared_ptr<excel::Workbooks> Workbooks();
    // Ends the application without saving: its workbooks close, and every object of it fails
    // with ObjectClosed from now on. Quitting twice fails with ObjectClosed.
    void Quit();
    bool IsRunning() const noexcept;

    std::string_view TypeName() const override { return kTypeName; }

    explicit Application(std::shared_ptr<detail::ApplicationImpl> impl);
    const std::shared_ptr<detail::ApplicationImpl>& impl() const noexcept { return impl_; }

private:
    std::shared_ptr<detail::ApplicationImpl> impl_;
};

class Workbooks : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Workbooks";

    // Opens the workbook at path (.xlsx, .xlsm) and returns it. Fails with FileNotFound,
    // FileAccess, NotADocument, LegacyFormat (.xls), Encrypted, CorruptPart or TooLarge, with a
    // text that names the file.
    std::shared_ptr<Workbook> Open(const std::string& path);
    int Count() const;
    // 1-based, in the order the workbooks were opened. Fails with IndexOutOfRange.
    std::shared_ptr<Workbook> Item(int index);

    std::string_view TypeName() const override { return kTypeName; }

    explicit Workbooks(std::shared_ptr<detail::ApplicationImpl> app);

private:
    std::shared_ptr<detail::ApplicationImpl> app_;
};

class Workbook : public Dispatch, public std::enable_shared_from_this<Workbook> {
public:
    static constexpr std::string_view kTypeName = "Workbook";

    // The file name without its folder ("report.xlsx").
    std::string Name() const;
    // The full path the workbook was opened from or last saved to.
    std::string FullName() const;
    // Worksheets and chart sheets, in the workbook's order.
    std::shared_ptr<excel::Sheets> Sheets();
    // Worksheets only, in the workbook's order.
    std::shared_ptr<excel::Worksheets> Worksheets();
    // Writes the workbook back over its file, atomically; parts that nothing changed are
    // carried over byte for byte. An embedded workbook writes back into its presentation.
    void Save();
    // Writes the workbook to path, atomically; from then on FullName is path.
    void SaveAs(const std::string& path);
    // Closes the workbook without saving, except an embedded workbook, whose changes go back
    // into the presentation that holds it (the OLE server's close). Removes it from Workbooks;
    // its sheets and ranges fail with ObjectClosed afterwards.
    void Close();

    // True when the workbook counts dates in the 1904 system.
    bool Date1904() const;

    std::shared_ptr<excel::Application> Application() const;

    std::string_view TypeName() const override { return kTypeName; }

    explicit Workbook(std::shared_ptr<detail::WorkbookImpl> impl);
    const std::shared_ptr<detail::WorkbookImpl>& impl() const noexcept { return impl_; }

private:
    std::shared_ptr<detail::WorkbookImpl> impl_;
};

// A sheet of any kind: a worksheet or a chart sheet. Take it as a worksheet with
// office::As<excel::Worksheet>(sheet), which fails with TypeMismatch for a chart sheet.
class Sheet : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Sheet";

    std::string Name() const;
    bool IsWorksheet() const;

    std::string_view TypeName() const override;

    explicit Sheet(std::shared_ptr<detail::SheetImpl> impl);
    const std::shared_ptr<detail::SheetImpl>& impl() const noexcept { return impl_; }

protected:
    std::shared_ptr<detail::SheetImpl> impl_;
};

class Sheets : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Sheets";

    int Count() const;
    std::shared_ptr<Sheet> Item(int index);  // 1-based; IndexOutOfRange otherwise

    std::string_view TypeName() const override { return kTypeName; }

    explicit Sheets(std::shared_ptr<detail::WorkbookImpl> book);

private:
    std::shared_ptr<detail::WorkbookImpl> book_;
};

class Worksheets : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Worksheets";

    int Count() const;
    std::shared_ptr<Worksheet> Item(int index);  // 1-based among worksheets only

    std::string_view TypeName() const override { return kTypeName; }

    explicit Worksheets(std::shared_ptr<detail::WorkbookImpl> book);

private:
    std::shared_ptr<detail::WorkbookImpl> book_;
};

class Worksheet : public Sheet {
public:
    static constexpr std::string_view kTypeName = "Worksheet";

    // A1-style address of a cell or a rectangle ("A1", "$B$2:C9", "b2"). Fails with
    // InvalidArgument for an address that is not one, OutOfSheet beyond the sheet.
    std::shared_ptr<excel::Range> Range(std::string_view address);
    // The rectangle spanned by two cells of this sheet, in any order.
    std::shared_ptr<excel::Range> Range(const std::shared_ptr<excel::Range>& cell1,
                                        const std::shared_ptr<excel::Range>& cell2);
    // 1-based row and column.
    std::shared_ptr<excel::Range> Cells(int row, int column);
    // The rectangle from the first to the last cell the sheet holds (A1 when it holds none).
    // Formatting of whole rows and columns that holds no cell lies outside it.
    std::shared_ptr<excel::Range> UsedRange();
    std::shared_ptr<excel::Workbook> Parent() const;

    std::string_view TypeName() const override { return kTypeName; }

    explicit Worksheet(std::shared_ptr<detail::SheetImpl> impl);
};

// The state of one edge of a cell as Borders(index) reports it.
class Border {
public:
    // One of the XlLineStyle constants; xlNone where no line is drawn.
    int LineStyle() const noexcept { return lineStyle_; }
    // XlBorderWeight: xlHairline 1, xlThin 2, xlMedium -4138, xlThick 4.
    int Weight() const noexcept { return weight_; }

    Border(int lineStyle, int weight) : lineStyle_(lineStyle), weight_(weight) {}

private:
    int lineStyle_;
    int weight_;
};

// A rectangle of cells of one worksheet (often a single cell). Cheap to make: it is a
// reference to the sheet and four numbers.
class Range : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Range";

    // The value of the first cell. A formula reads as its cached value; a merged area's value
    // lives in its top-left cell.
    office::Value Value() const;
    // Writes the value of every cell of the range; keeps the cells' formats.
    void SetValue(const office::Value& value);
    // The first cell's value as the workbook displays it, its number format applied.
    std::string Text() const;
    // The first cell's number format code ("General", "0.00%", "yyyy-mm-dd", ...).
    std::string NumberFormat() const;
    // Sets the number format of every cell of the range.
    void SetNumberFormat(const std::string& format);

    int Row() const noexcept { return row_; }
    int Column() const noexcept { return column_; }
    int RowCount() const noexcept { return lastRow_ - row_ + 1; }
    int ColumnCount() const noexcept { return lastColumn_ - column_ + 1; }
    // "$A$1" or "$A$1:$C$5".
    std::string Address() const;
    // The cells of the range that hold a formula but no computed value ("C4", in row order):
    // programs that do not calculate write formulas so. They read as blank.
    std::vector<std::string> FormulasWithoutValue() const;

    // The range moved by rows and columns, same size. Fails with OutOfSheet when any part
    // would lie beyond the sheet.
    std::shared_ptr<excel::Range> Offset(int rows, int columns) const;
    // The cell at (row, column) relative to the first cell, 1-based; may lie outside the range.
    std::shared_ptr<excel::Range> Item(int row, int column) const;
    // The given edge of the first cell (xlEdgeLeft, xlLeft, xlEdgeRight, xlRight, ...).
    Border Borders(int index) const;

    // Puts the block (values and number formats) on the host's clipboard, replacing what it
    // held.
    void Copy() const;
    // Copies the block to the destination's first cell, in the same or another workbook:
    // values, number formats, fonts, fills and borders travel. Cells of the destination outside
    // the block keep their contents.
    void Copy(const std::shared_ptr<excel::Range>& destination) const;

    std::shared_ptr<excel::Worksheet> Worksheet() const;

    std::string_view TypeName() const override { return kTypeName; }

    Range(std::shared_ptr<detail::SheetImpl> sheet, int row, int column, int lastRow,
          int lastColumn);
    const std::shared_ptr<detail::SheetImpl>& sheet() const noexcept { return sheet_; }
    int LastRow() const noexcept { return lastRow_; }
    int LastColumn() const noexcept { return lastColumn_; }

private:
    std::shared_ptr<detail::SheetImpl> sheet_;
    int row_;
    int column_;
    int lastRow_;
    int lastColumn_;
};

}  // namespace office::excel
