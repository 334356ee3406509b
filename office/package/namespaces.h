#pragma once

// The one table of the XML namespaces the office host reads and writes. Each namespace is known
// once, by an id, with the URI of the transitional documents and, beside it, its twin in ISO
// Strict documents (under http://purl.oclc.org/ooxml/); the package's namespaces (content
// types, the relationships parts, markup compatibility) are the same in both. Matching goes
// through the id, so code that names a namespace finds its elements in either kind of part.

#include <cstdint>
#include <string>
#include <string_view>

namespace office::package {

enum class Namespace : std::uint8_t {
    Unknown,  // a namespace the table does not know, or none
    Spreadsheet,
    Drawing,
    Presentation,
    Chart,
    ChartEx,  // the chart parts of newer chart types (waterfall, treemap, ...)
    ChartDrawing,
    SpreadsheetDrawing,
    Picture,
    Relationships,         // the r: of r:id, r:embed, r:link; also the base of relationship types
    PackageRelationships,  // the namespace of the .rels parts themselves
    ContentTypes,
    MarkupCompatibility,
    Vml,
    OfficeVml,
    ExcelVml,
    PowerPointVml,
    Xml,                      // bound to "xml" in every document without a declaration
    Drawing2014,              // Office 2016's additions to DrawingML (a16:rowId, a16:colId)
    ChartStyle,               // a chart's style and colour style parts (cs:)
    OfficeRelationships2006,  // relationship types Office added (xlMacrosheet, ...)
    OfficeRelationships2011,  // relationship types Office added later (chartColorStyle, ...)
};

struct NamespaceEntry {
    Namespace id;
    std::string_view uri;     // as transitional documents write it
    std::string_view strict;  // as ISO Strict documents write it; empty when it is the same
    std::string_view prefix;  // the prefix Office gives it; empty for none usual
};

inline constexpr NamespaceEntry kNamespaces[] = {
    {Namespace::Unknown, "", "", ""},
    {Namespace::Spreadsheet, "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
     "http://purl.oclc.org/ooxml/spreadsheetml/main", "x"},
    {Namespace::Drawing, "http://schemas.openxmlformats.org/drawingml/2006/main",
     "http://purl.oclc.org/ooxml/drawingml/main", "a"},
    {Namespace::Presentation, "http://schemas.openxmlformats.org/presentationml/2006/main",
     "http://purl.oclc.org/ooxml/presentationml/main", "p"},
    {Namespace::Chart, "http://schemas.openxmlformats.org/drawingml/2006/chart",
     "http://purl.oclc.org/ooxml/drawingml/chart", "c"},
    {Namespace::ChartEx, "http://schemas.microsoft.com/office/drawing/2014/chartex", "", "cx"},
    {Namespace::ChartDrawing, "http://schemas.openxmlformats.org/drawingml/2006/chartDrawing",
     "http://purl.oclc.org/ooxml/drawingml/chartDrawing", "cdr"},
    {Namespace::SpreadsheetDrawing,
     "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing",
     "http://purl.oclc.org/ooxml/drawingml/spreadsheetDrawing", "xdr"},
    {Namespace::Picture, "http://schemas.openxmlformats.org/drawingml/2006/picture",
     "http://purl.oclc.org/ooxml/drawingml/picture", "pic"},
    {Namespace::Relationships,
     "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
     "http://purl.oclc.org/ooxml/officeDocument/relationships", "r"},
    {Namespace::PackageRelationships,
     "http://schemas.openxmlformats.org/package/2006/relationships", "", ""},
    {Namespace::ContentTypes, "http://schemas.openxmlformats.org/package/2006/content-types", "",
     ""},
    {Namespace::MarkupCompatibility, "http://schemas.openxmlformats.org/markup-compatibility/2006",
     "", "mc"},
    {Namespace::Vml, "urn:schemas-microsoft-com:vml", "", "v"},
    {Namespace::OfficeVml, "urn:schemas-microsoft-com:office:office", "", "o"},
    {Namespace::ExcelVml, "urn:schemas-microsoft-com:office:excel", "", "x"},
    {Namespace::PowerPointVml, "urn:schemas-microsoft-com:office:powerpoint", "", ""},
    {Namespace::Xml, "http://www.w3.org/XML/1998/namespace", "", "xml"},
    {Namespace::Drawing2014, "http://schemas.microsoft.com/office/drawing/2014/main", "", "a16"},
    {Namespace::ChartStyle, "http://schemas.microsoft.com/office/drawing/2012/chartStyle", "",
     "cs"},
    {Namespace::OfficeRelationships2006, "http://schemas.microsoft.com/office/2006/relationships",
     "", ""},
    {Namespace::OfficeRelationships2011, "http://schemas.microsoft.com/office/2011/relationships",
     "", ""},
};

constexpr const NamespaceEntry& entryOf(Namespace id) {
    return kNamespaces[static_cast<std::size_t>(id)];
}

// The id of the namespace a URI names, from either of its twins; Unknown for another URI.
Namespace namespaceId(std::string_view uri);
// True when the URI is the Strict twin of a namespace of the table.
bool isStrictUri(std::string_view uri);
// True when both URIs name one namespace: equal, or twins.
bool sameNamespace(std::string_view a, std::string_view b);
// The URI of the namespace in the flavour of a document: the Strict twin when strict and the
// namespace has one.
std::string_view uriOf(Namespace id, bool strict);
// The same namespace in the flavour that `like` (a URI of the document) has: a transitional URI
// stays as it is in a transitional part, and becomes its twin in a Strict one.
std::string_view uriLike(std::string_view uri, std::string_view like);
// The prefix Office gives a namespace ("a" for DrawingML, "r" for relationships, ...); used when
// a part lacks the namespace and it must be declared. Empty for a namespace we have no usual
// prefix for.
std::string_view usualPrefix(std::string_view uri);
// The full type of a relationship ("chart", "image", "package", ...) in the flavour of a
// package: officeDocument/relationships/... under the transitional or the Strict base.
std::string relationshipType(std::string_view name, bool strict = false);
// The same, for the relationship types that Office added under one of its own bases.
std::string relationshipType(Namespace base, std::string_view name);

// The transitional URIs, by name, for code that names a namespace.
namespace ns {
inline constexpr std::string_view kSpreadsheet = entryOf(Namespace::Spreadsheet).uri;
inline constexpr std::string_view kDrawing = entryOf(Namespace::Drawing).uri;
inline constexpr std::string_view kPresentation = entryOf(Namespace::Presentation).uri;
inline constexpr std::string_view kChart = entryOf(Namespace::Chart).uri;
inline constexpr std::string_view kChartEx = entryOf(Namespace::ChartEx).uri;
inline constexpr std::string_view kChartDrawing = entryOf(Namespace::ChartDrawing).uri;
inline constexpr std::string_view kSpreadsheetDrawing = entryOf(Namespace::SpreadsheetDrawing).uri;
inline constexpr std::string_view kPicture = entryOf(Namespace::Picture).uri;
inline constexpr std::string_view kRelationships = entryOf(Namespace::Relationships).uri;
inline constexpr std::string_view kPackageRelationships =
    entryOf(Namespace::PackageRelationships).uri;
inline constexpr std::string_view kContentTypes = entryOf(Namespace::ContentTypes).uri;
inline constexpr std::string_view kMarkupCompatibility =
    entryOf(Namespace::MarkupCompatibility).uri;
inline constexpr std::string_view kVml = entryOf(Namespace::Vml).uri;
inline constexpr std::string_view kOfficeVml = entryOf(Namespace::OfficeVml).uri;
inline constexpr std::string_view kExcelVml = entryOf(Namespace::ExcelVml).uri;
inline constexpr std::string_view kPowerPointVml = entryOf(Namespace::PowerPointVml).uri;
inline constexpr std::string_view kXml = entryOf(Namespace::Xml).uri;
inline constexpr std::string_view kDrawing2014 = entryOf(Namespace::Drawing2014).uri;
inline constexpr std::string_view kChartStyle = entryOf(Namespace::ChartStyle).uri;
}  // namespace ns

}  // namespace office::package
