#pragma once

// The presentation side of the office host: applications, presentations, slides, tags and
// shapes over real .pptx files and PowerPoint 97-2003 (.ppt) files. Collections are indexed
// from 1. Every operation fails with office::Error; after Quit, and after a presentation's
// Close, every object that belongs to it fails with ErrorCode::ObjectClosed.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "office/dispatch.h"

namespace office::detail {
struct ObjectSite;
struct LegacyObjectSite;
}  // namespace office::detail

namespace office::ppt {

// MsoTriState
inline constexpr int msoTrue = -1;
inline constexpr int msoFalse = 0;
inline constexpr int msoCTrue = 1;
inline constexpr int msoTriStateMixed = -2;

// PpWindowState
inline constexpr int ppWindowNormal = 1;
inline constexpr int ppWindowMinimized = 2;
inline constexpr int ppWindowMaximized = 3;

// PpAlertLevel
inline constexpr int ppAlertsNone = 1;
inline constexpr int ppAlertsAll = 2;

// PpSaveAsFileType. Every presentation format that a caller asks for is written as the host's
// own presentation format, .pptx.
inline constexpr int ppSaveAsPresentation = 1;
inline constexpr int ppSaveAsDefault = 11;
inline constexpr int ppSaveAsOpenXMLPresentation = 24;

// The ProgID that the host's chart server reports for a native chart.
inline constexpr std::string_view kChartServerProgID = "Tabulon.Graph.Chart";

class Application;
class Presentations;
class Presentation;
class Slides;
class Slide;
class Tags;
class Shapes;
class Shape;
class OLEFormat;
class Table;

namespace detail {
struct ApplicationImpl;
struct PresentationImpl;
struct SlideImpl;
struct ShapeImpl;
}  // namespace detail

class Application : public Dispatch, public std::enable_shared_from_this<Application> {
public:
    static constexpr std::string_view kTypeName = "Application";

    // Starts a new presentation application: not visible, normal window, all alerts, no
    // presentation.
    static std::shared_ptr<Application> Create();

    int Visible() const;
    // msoTrue, msoCTrue or msoFalse.
    void SetVisible(int visible);
    int WindowState() const;
    // ppWindowNormal, ppWindowMinimized or ppWindowMaximized; InvalidArgument otherwise.
    void SetWindowState(int state);
    int DisplayAlerts() const;
    void SetDisplayAlerts(int level);
    std::shared_ptr<ppt::Presentations> Presentations();
    // The presentation opened or activated last. Fails with IndexOutOfRange when none is open.
    std::shared_ptr<Presentation> ActivePresentation();
    // Ends the application without saving; every object of it fails with ObjectClosed from now
    // on. Quitting twice fails with ObjectClosed.
    void Quit();
    bool IsRunning() const noexcept;

    std::string_view TypeName() const override { return kTypeName; }

    explicit Application(std::shared_ptr<detail::ApplicationImpl> impl);
    const std::shared_ptr<detail::ApplicationImpl>& impl() const noexcept { return impl_; }

private:
    std::shared_ptr<detail::ApplicationImpl> impl_;
};

class Presentations : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Presentations";

    // Opens the presentation at path: a .pptx package or a .ppt, told apart by their content.
    // readOnly: a read-only presentation refuses Save. untitled: the presentation keeps no file
    // name, so only SaveAs can write it. withWindow is accepted and has no visible effect in the
    // built-in host. Fails with FileNotFound, FileAccess, NotADocument, LegacyFormat (PowerPoint
    // 95 and older), Encrypted, CorruptPart or TooLarge, with a text that names the file and the
    // part.
    std::shared_ptr<Presentation> Open(const std::string& path, int readOnly = msoFalse,
                                       int untitled = msoFalse, int withWindow = msoTrue);
    int Count() const;
    std::shared_ptr<Presentation> Item(int index);  // 1-based, in the order opened

    std::string_view TypeName() const override { return kTypeName; }

    explicit Presentations(std::shared_ptr<detail::ApplicationImpl> app);

private:
    std::shared_ptr<detail::ApplicationImpl> app_;
};

class Presentation : public Dispatch, public std::enable_shared_from_this<Presentation> {
public:
    static constexpr std::string_view kTypeName = "Presentation";

    std::string Name() const;      // file name without folder; empty for an untitled one
    std::string FullName() const;  // full path; empty for an untitled one
    bool ReadOnly() const;
    std::shared_ptr<ppt::Slides> Slides();
    // Writes the presentation over its own file, atomically; a .ppt gets the changes appended
    // as a new edit, every other byte kept (a fast save). Fails with ReadOnly for a
    // read-only or untitled presentation, WriteFailed when the file cannot be written (the
    // earlier file is then intact and no stray file is left).
    void Save();
    // Writes the presentation to path as .pptx (a .ppt: as .ppt), atomically; from then on it
    // has that name. A path whose extension names another format (.pdf, ...) fails with
    // InvalidArgument.
    void SaveAs(const std::string& path, int fileFormat = ppSaveAsDefault,
                int embedTrueTypeFonts = msoTriStateMixed);
    // Closes without saving and removes it from Presentations; later items move down one.
    void Close();

    std::shared_ptr<ppt::Application> Application() const;

    std::string_view TypeName() const override { return kTypeName; }

    explicit Presentation(std::shared_ptr<detail::PresentationImpl> impl);
    const std::shared_ptr<detail::PresentationImpl>& impl() const noexcept { return impl_; }

private:
    std::shared_ptr<detail::PresentationImpl> impl_;
};

class Slides : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Slides";

    int Count() const;
    std::shared_ptr<Slide> Item(int index);  // 1-based, in presentation order

    std::string_view TypeName() const override { return kTypeName; }

    explicit Slides(std::shared_ptr<detail::PresentationImpl> presentation);

private:
    std::shared_ptr<detail::PresentationImpl> presentation_;
};

class Slide : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Slide";

    // The slide's name as the file keeps it (p:cSld/@name); a slide without one reads as
    // "Slide" followed by its SlideID, which is stable and unique.
    std::string Name() const;
    void SetName(const std::string& name);
    // The id the presentation gives the slide (p:sldId/@id), unique, 256 to 2147483647.
    int SlideID() const;
    int SlideIndex() const;  // 1-based position in the presentation
    std::shared_ptr<ppt::Shapes> Shapes();
    std::shared_ptr<ppt::Tags> Tags();

    std::string_view TypeName() const override { return kTypeName; }

    explicit Slide(std::shared_ptr<detail::SlideImpl> impl);
    const std::shared_ptr<detail::SlideImpl>& impl() const noexcept { return impl_; }

private:
    std::shared_ptr<detail::SlideImpl> impl_;
};

// The tags of a slide. Names match without regard to case and are stored upper-case.
class Tags : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Tags";

    int Count() const;
    std::string Name(int index) const;   // 1-based; IndexOutOfRange otherwise
    std::string Value(int index) const;  // 1-based; IndexOutOfRange otherwise
    // The value of the tag of that name; the empty text when there is none.
    std::string Item(const std::string& name) const;
    // Adds the tag, or replaces the value of a tag of the same name.
    void Add(const std::string& name, const std::string& value);
    // Removes the tag of that name; nothing happens when there is none.
    void Delete(const std::string& name);

    std::string_view TypeName() const override { return kTypeName; }

    explicit Tags(std::shared_ptr<detail::SlideImpl> slide);

private:
    std::shared_ptr<detail::SlideImpl> slide_;
};

class Shapes : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Shapes";

    int Count() const;
    // 1-based, in stacking order (back to front): the slide's top-level shapes, where a group is
    // one shape, or for the GroupItems of a group the group's own members.
    std::shared_ptr<Shape> Item(int index);

    std::string_view TypeName() const override { return kTypeName; }

    // group: the id of the group shape whose members are listed; 0 for the slide's shapes.
    explicit Shapes(std::shared_ptr<detail::SlideImpl> slide, int group = 0);

private:
    std::shared_ptr<detail::SlideImpl> slide_;
    int group_ = 0;
};

class Shape : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Shape";

    std::string Name() const;  // p:cNvPr/@name
    void SetName(const std::string& name);
    int Id() const;  // p:cNvPr/@id, unique within the slide
    // The embedded-object format of an OLE object frame or a native chart. Any other shape
    // (picture, text box, auto shape, placeholder, table, group) fails with TypeMismatch.
    std::shared_ptr<ppt::OLEFormat> OLEFormat();
    // True when the shape is a graphic frame that holds a native table (a:tbl).
    bool HasTable() const;
    // The shape's native table. Any other shape fails with TypeMismatch, naming slide and shape.
    std::shared_ptr<ppt::Table> Table();
    // The slide the shape lies on.
    std::shared_ptr<Slide> Parent() const;
    // True for a group shape (p:grpSp).
    bool IsGroup() const;
    // The members of a group shape, groups inside it being one member each. Any other shape
    // fails with TypeMismatch, naming slide and shape.
    std::shared_ptr<Shapes> GroupItems();
    // The group shape that holds this shape; null for a shape that lies on the slide itself.
    std::shared_ptr<Shape> ParentGroup() const;

    std::string_view TypeName() const override { return kTypeName; }

    explicit Shape(std::shared_ptr<detail::ShapeImpl> impl);
    const std::shared_ptr<detail::ShapeImpl>& impl() const noexcept { return impl_; }

private:
    std::shared_ptr<detail::ShapeImpl> impl_;
};

class OLEFormat : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "OLEFormat";

    // The object's ProgID as the file gives it ("Excel.Sheet.12", ...); kChartServerProgID for
    // a native chart.
    std::string ProgID() const;
    // The embedded object: for a native chart a graph::ChartObject, whose property
    // "Application" is its chart server; for an embedded .xlsx/.xlsm workbook an
    // excel::Workbook. Fails with NotSupported, naming slide, shape and reason, for an object
    // that the host cannot open (a binary OLE object, a chartEx part, a linked object).
    std::shared_ptr<Dispatch> Object();
    // Where the object sits in the open presentation and who serves it: what Object hands to
    // the chart server or the embedded-workbook code. Fails as Object does for a shape that
    // holds no object or whose object part is missing.
    office::detail::ObjectSite Site() const;
    // For an object of a PowerPoint 97-2003 presentation (.ppt): its storage, size and the way
    // to put it back filled, which Object hands to the Graph or workbook code; nullopt for an
    // object of a .pptx. Fails with NotSupported, naming slide and shape, for a linked object,
    // TypeMismatch for a shape that holds no object, CorruptPart for a shape without an anchor.
    std::optional<office::detail::LegacyObjectSite> LegacySite() const;

    std::string_view TypeName() const override { return kTypeName; }

    explicit OLEFormat(std::shared_ptr<detail::ShapeImpl> shape);

private:
    std::shared_ptr<detail::ShapeImpl> shape_;
};

// The texts of a block of cells, row by row; every row as long as the first.
using CellTexts = std::vector<std::vector<std::string>>;

// A native table of a slide: an a:tbl in a graphic frame. Rows and columns count from 1 and
// follow the table's grid. A merged cell (gridSpan, rowSpan) is read and written through its
// top-left cell; the cells it covers hold no text of their own. Every call reads the slide as it
// is now. Failures name presentation, slide and shape: CorruptPart for a table whose rows do not
// match its grid, IndexOutOfRange for a cell outside the table.
class Table : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Table";

    int RowCount() const;
    int ColumnCount() const;
    // The cell's text, its paragraphs joined by line feeds.
    std::string CellText(int row, int column) const;
    // Replaces the cell's text and keeps its look: the first paragraph's properties, the first
    // run's properties (or, in an empty cell, those of its paragraph end), the cell's fill,
    // borders and margins. A line feed starts a new paragraph with the same properties;
    // characters that XML cannot hold are dropped. Text for a cell that a merged cell covers
    // fails with NotSupported, naming the cell and the merged cell.
    void SetCellText(int row, int column, const std::string& text);
    // Makes the table rows x columns (both at least 1). New rows copy the last row, new columns
    // the last column (cell properties, text properties and heights or widths, without merges
    // and without text; row and column ids made unique); rows and columns beyond the new size
    // go, text and all. The grid columns are rescaled so that the table keeps its width; the
    // frame's height changes by the height of the rows added or removed. A size that would cut
    // through a merged cell fails with NotSupported, naming the cell, before anything changes.
    void Resize(int rows, int columns);
    // Resize to the size of texts, then SetCellText for every cell: texts[0][0] goes into the
    // first cell. Checks the whole block first, so a block that would split a merged cell or put
    // text into a covered cell changes nothing.
    void Fill(const CellTexts& texts);

    std::string_view TypeName() const override { return kTypeName; }

    explicit Table(std::shared_ptr<detail::ShapeImpl> shape);

private:
    std::shared_ptr<detail::ShapeImpl> shape_;
};

}  // namespace office::ppt
