#pragma once

// What the presentation code hands to the code behind OLEFormat.Object: the open package and
// where the object sits in it. The chart server (office/graph) and the embedded-workbook
// object (office/embed) edit the presentation through this, in the same package and the same
// parsed parts as the presentation itself, so one Save writes everything.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "office/dispatch.h"
#include "office/package/package.h"

namespace office::detail {

// A package open in the host and shared by the document and every object taken from it. When
// the document closes, `open` turns false and every object that still holds it fails with
// ObjectClosed.
struct OpenDocument {
    package::Package package;
    bool open = true;

    // Fails with ObjectClosed once the document was closed or its application quit.
    void checkOpen() const;
};

struct ObjectSite {
    std::shared_ptr<OpenDocument> document;
    std::string slidePart;   // "ppt/slides/slide3.xml"
    int slideIndex = 0;      // 1-based, for messages
    int shapeId = 0;         // p:cNvPr/@id of the graphic frame
    std::string shapeName;   // p:cNvPr/@name, for messages
    std::string relId;       // the slide's relationship to the object part
    std::string objectPart;  // "ppt/charts/chart1.xml" or "ppt/embeddings/....xlsx"; empty when
                             // the object is linked to an outside file
    // As the frame gives it, or as the object part says when the frame leaves it out
    // (recogniseProgId); kChartServerProgID for a native chart.
    std::string progId;
    bool nativeChart = false;  // a c:chart graphic frame (or a chartEx one: see objectPart's type)
    // Served by the chart server (a native chart, or a Graph object by its ProgID); otherwise
    // by the embedded-workbook code.
    bool chartServer = false;

    // "report.pptx: slide 3, shape \"Chart 2\"": the prefix of every error text about it.
    std::string where() const;
};

// The ProgID of the embedded object stored in the package's part, read from what the part is:
// an .xlsx/.xlsm package by its content type; a compound file by its root storage's class id
// (MSGraph.Chart.8, Excel.Sheet.8, Excel.Sheet.12), else by the ProgID its "\1CompObj" stream
// names. Empty when none of them says. For objects whose frame leaves the ProgID out, as
// LibreOffice writes them. Never fails: an unreadable part says nothing.
std::string recogniseProgId(const package::Package& package, const std::string& part);

// The ProgID of an object's storage (a compound file) by its root class id, else by its
// "\1CompObj" stream, as recogniseProgId reads a compound part; `where` names it in the
// reading. Empty when neither says. Never fails: an unreadable storage says nothing.
std::string storageProgId(const std::vector<std::uint8_t>& storage, const std::string& where);

// The two openers below are implemented by the layers above the presentation code and called
// by OLEFormat::Object, which the host defines (office/host.cpp) so that the presentation
// library links neither of them.

// Implemented by the chart server: a graph::ChartObject for a native chart. Fails with
// NotSupported, naming slide, shape and reason, for a chart that cannot be filled (a chartEx
// part).
std::shared_ptr<Dispatch> openChartObject(const ObjectSite& site);

// Implemented by the embedded-object code: an excel::Workbook for an embedded .xlsx/.xlsm
// package (a package part, or inside the "Package" stream of a compound file). Its Close writes
// the package back and redraws the object's preview picture. Fails with NotSupported, naming
// slide, shape and reason, for a binary workbook (Excel.Sheet.8), a linked object or any other
// object.
std::shared_ptr<Dispatch> openEmbeddedWorkbook(const ObjectSite& site);

// An embedded object of a PowerPoint 97-2003 presentation (.ppt), which has no parts: the
// object's storage, and the way to put the filled object back. `replace` takes the object's
// new storage (a compound file) and the picture the slide is to show of it (a PNG file drawn
// for the shape's size); the presentation keeps both for its next save and makes the shape
// show the new picture. `replaceLater`, where the site has it, takes what draws the picture
// instead, which the presentation may call later and on another thread, or not at all when the
// object is replaced again first: what draws it owns what it draws from. The same site serves a
// binary object of a .pptx whose storage is a package part.
struct LegacyObjectSite {
    std::string progId;
    std::string where;    // "deck.ppt: slide 2, shape \"Chart 3\"", the prefix of every error
    std::int64_t cx = 0;  // the shape's size in EMU
    std::int64_t cy = 0;
    std::function<std::vector<std::uint8_t>()> storage;
    std::function<void(std::vector<std::uint8_t> storage, const std::string& png)> replace;
    std::function<void(std::vector<std::uint8_t> storage, std::function<std::string()> picture)>
        replaceLater;
};

// Implemented by the chart server: the Graph chart object of a legacy site, filled in its own
// records (the data sheet, series and title) and drawn anew when closed.
std::shared_ptr<Dispatch> openLegacyGraphObject(const LegacyObjectSite& site);
// Implemented by the embedded-object code: the binary workbook (Excel.Sheet.8) of a legacy
// site, written back in its own format and drawn anew when closed.
std::shared_ptr<Dispatch> openLegacyWorkbookObject(const LegacyObjectSite& site);

}  // namespace office::detail
