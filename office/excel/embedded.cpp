#include "office/excel/embedded.h"

#include <zip.h>

#include <algorithm>
#include <iterator>

#include "office/error.h"
#include "office/excel/model.h"
#include "office/excel/writer_parts.h"
#include "office/excel/xls/xls_reader.h"
#include "office/excel/xls/xls_writer.h"
#include "office/package/namespaces.h"

namespace office::excel {

namespace {

constexpr std::string_view kRelNs = package::ns::kRelationships;
constexpr std::string_view kMainNs = package::ns::kSpreadsheet;
constexpr std::string_view kBinaryWorkbookType =
    "application/vnd.ms-excel.sheet.binary.macroEnabled.main";

}  // namespace

std::vector<std::uint8_t> detail::emptyPackage() {
    static const std::string types =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        "<Types xmlns=\"" +
        std::string(package::ns::kContentTypes) + "\">" +
        R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
        R"(<Default Extension="xml" ContentType="application/xml"/></Types>)";
    auto fail = [] {
        throw Error(ErrorCode::WriteFailed, "cannot create a new workbook in memory");
    };
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_error_fini(&error);
    if (!buffer) {
        fail();
    }
    zip_source_keep(buffer);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, nullptr);
    zip_source_t* data =
        archive ? zip_source_buffer(archive, types.data(), types.size(), 0) : nullptr;
    const bool added = data && zip_file_add(archive, "[Content_Types].xml", data, 0) >= 0;
    if (!added) {
        zip_source_free(data);
    }
    const bool closed = archive && added && zip_close(archive) == 0;
    if (archive && !closed) {
        zip_discard(archive);
    }
    std::vector<std::uint8_t> bytes;
    zip_stat_t stat;
    if (closed && zip_source_stat(buffer, &stat) == 0 && zip_source_open(buffer) == 0) {
        bytes.resize(stat.size);
        const auto read = zip_source_read(buffer, bytes.data(), stat.size);
        zip_source_close(buffer);
        bytes.resize(read < 0 ? 0 : static_cast<std::size_t>(read));
    }
    zip_source_free(buffer);
    if (bytes.empty()) {
        fail();
    }
    return bytes;
}

namespace {

pugi::xml_document rootDocument(const char* name) {
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    doc.append_child(name).append_attribute("xmlns") = std::string(kMainNs).c_str();
    return doc;
}

// The workbook's children in the schema's order, for placing a new <oleSize>.
constexpr std::string_view kWorkbookOrder[] = {"fileVersion",    "fileSharing",
                                               "workbookPr",     "workbookProtection",
                                               "bookViews",      "sheets",
                                               "functionGroups", "externalReferences",
                                               "definedNames",   "calcPr",
                                               "oleSize",        "customWorkbookViews",
                                               "pivotCaches",    "smartTagPr",
                                               "smartTagTypes",  "webPublishing",
                                               "fileRecoveryPr", "webPublishObjects",
                                               "extLst"};

}  // namespace

std::shared_ptr<Workbook> openWorkbookFromPackage(
    package::Package package, std::function<void(std::vector<std::uint8_t>)> onSave) {
    std::string displayName = package.displayName();
    auto book = detail::loadWorkbook(std::move(package), displayName);
    book->name = std::move(displayName);
    book->onSave = std::move(onSave);
    // The private application lives as long as the workbook; it does not list the workbook,
    // so that the two do not keep each other alive.
    book->ownedApp = std::make_shared<detail::ApplicationImpl>();
    book->app = book->ownedApp;
    return std::make_shared<Workbook>(book);
}

std::shared_ptr<Workbook> openWorkbookFromBytes(
    std::vector<std::uint8_t> bytes, std::string displayName,
    std::function<void(std::vector<std::uint8_t>)> onSave) {
    return openWorkbookFromPackage(
        package::Package::openBytes(std::move(bytes), std::move(displayName), "workbook"),
        std::move(onSave));
}

namespace {

// Gives the package of a workbook read from a binary stream what the workbook code edits and
// the picture code reads: a styles part with the stream's formats (new looks are added to it,
// after the formats of the stream, whose indexes stay), every cell, and the visible area.
void holdEverything(detail::WorkbookImpl& book, const std::optional<detail::Area>& visible) {
    book.stylesPart = "xl/styles.xml";
    book.package.writeXml(book.stylesPart, detail::styleSheetOf(book.styles));
    book.package.setContentType(
        book.stylesPart, "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml");
    auto rels = book.package.relationships(book.workbookPart);
    rels.add(std::string(kRelNs) + "/styles", "styles.xml");
    book.package.setRelationships(book.workbookPart, rels);
    if (visible) {
        auto& doc = book.package.xml(book.workbookPart);
        doc.document_element().append_child("oleSize").append_attribute("ref") =
            (detail::cellName(visible->top, visible->left) + ":" +
             detail::cellName(visible->bottom, visible->right))
                .c_str();
        book.package.markDirty(book.workbookPart);
    }
    for (const auto& sheet : book.sheets) {
        for (const auto& row : sheet->cells.rows()) {
            for (const auto& cell : row.cells) {
                sheet->written.push_back({row.row, cell.column, true});
            }
        }
    }
    book.sharedStringsInFile = 0;  // the package has none of them yet
    detail::storeChanges(book);
    book.changed = false;
}

}  // namespace

std::shared_ptr<Workbook> openBinaryWorkbook(std::vector<std::uint8_t> stream,
                                             std::string displayName,
                                             std::function<void(BinaryWorkbookSave)> onSave) {
    xls::checkWritable(stream, displayName);
    auto book = detail::loadBiffWorkbook(stream, displayName, displayName);
    holdEverything(*book, xls::visibleArea(stream));
    // Saved in its own format by the stream writer below, not refused as a source-only file.
    book->binary = false;
    book->name = displayName;
    auto before = std::make_shared<const std::vector<std::uint8_t>>(book->package.saveBytes());
    auto original = std::make_shared<const std::vector<std::uint8_t>>(std::move(stream));
    std::weak_ptr<detail::WorkbookImpl> weak = book;
    book->onSave = [weak, before, original, onSave](std::vector<std::uint8_t> after) {
        const auto edited = weak.lock();
        if (!edited) {
            return;
        }
        onSave({*before, std::move(after),
                [edited, original](const std::optional<detail::Area>& visible) {
                    return xls::writeWorkbookStream(*original, *edited, visible);
                }});
    };
    book->ownedApp = std::make_shared<detail::ApplicationImpl>();
    book->app = book->ownedApp;
    return std::make_shared<Workbook>(book);
}

bool isBinaryWorkbook(const package::Package& package) {
    const package::Relationships rels = package.relationships("");
    const auto* main = rels.findByType("/officeDocument");
    if (!main) {
        return false;
    }
    const std::string part = package::resolveTarget("", main->target);
    return package.contentType(part) == kBinaryWorkbookType || part.ends_with(".bin");
}

std::vector<std::uint8_t> newWorkbookBytes(const std::string& sheet, bool strict) {
    auto package = package::Package::openBytes(detail::emptyPackage(), "new workbook", "workbook");
    const std::string workbookPart = "xl/workbook.xml";
    const std::string sheetPart = "xl/worksheets/sheet1.xml";

    package::Relationships packageRels;
    // The package's main relationship sets its flavour; its other parts take it when written.
    packageRels.add(package::relationshipType("officeDocument", strict), workbookPart);
    package.setRelationships("", packageRels);
    package::Relationships workbookRels;
    const std::string sheetId = workbookRels.add(std::string(kRelNs) + "/worksheet",
                                                 package::relativeTarget(workbookPart, sheetPart));
    package.setRelationships(workbookPart, workbookRels);

    pugi::xml_document workbook = rootDocument("workbook");
    auto root = workbook.document_element();
    root.append_attribute("xmlns:r") = std::string(kRelNs).c_str();
    auto entry = root.append_child("sheets").append_child("sheet");
    entry.append_attribute("name") = package::xmlSafe(sheet).c_str();
    entry.append_attribute("sheetId") = 1;
    entry.append_attribute("r:id") = sheetId.c_str();
    package.writeXml(workbookPart, workbook);
    package.setContentType(
        workbookPart, "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");

    pugi::xml_document worksheet = rootDocument("worksheet");
    worksheet.document_element().append_child("dimension").append_attribute("ref") = "A1";
    worksheet.document_element().append_child("sheetData");
    package.writeXml(sheetPart, worksheet);
    package.setContentType(
        sheetPart, "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
    return package.saveBytes();
}

// ---- SheetCells ----

SheetCells::SheetCells(package::Package package, std::string_view sheet) {
    std::string displayName = package.displayName();
    book_ = detail::loadWorkbook(std::move(package), displayName, true);
    for (const auto& candidate : book_->sheets) {
        if (!candidate->worksheet || candidate->part.empty()) {
            continue;
        }
        if (!sheet_ || candidate->name == sheet) {
            sheet_ = candidate;
        }
        if (candidate->name == sheet) {
            break;
        }
    }
    if (!sheet_) {
        throw Error(ErrorCode::CorruptPart, book_->where() + ": " + book_->workbookPart +
                                                ": the workbook holds no worksheet");
    }
}

SheetCells::SheetCells(SheetCells&&) noexcept = default;
SheetCells& SheetCells::operator=(SheetCells&&) noexcept = default;
SheetCells::~SheetCells() = default;

const std::string& SheetCells::sheetName() const {
    return sheet_->name;
}

bool SheetCells::date1904() const {
    return book_->date1904;
}

template <class F>
void SheetCells::readCells(const detail::Area& area, F&& take) const {
    const auto& rows = sheet_->cells.rows();
    auto row = std::lower_bound(rows.begin(), rows.end(), area.top,
                                [](const detail::Row& r, int number) { return r.row < number; });
    for (; row != rows.end() && row->row <= area.bottom; ++row) {
        for (const auto& cell : row->cells) {
            if (cell.column < area.left || cell.column > area.right) {
                continue;
            }
            ClipCell data;
            data.value = detail::cellValue(*book_, &cell);
            if (data.value.isEmpty()) {
                continue;
            }
            data.numberFormat = book_->styles.formatCode(book_->styles.xf(cell.style).numFmtId);
            take(detail::CellPos{row->row, cell.column}, std::move(data));
        }
    }
}

detail::CellMap SheetCells::read(const detail::Area& area) const {
    detail::CellMap cells;
    readCells(area, [&](const detail::CellPos& pos, ClipCell data) {
        cells.emplace_hint(cells.end(), pos, std::move(data));
    });
    return cells;
}

detail::CellGrid SheetCells::readGrid(const detail::Area& area) const {
    detail::CellGrid cells;
    readCells(area,
              [&](const detail::CellPos& pos, const ClipCell& data) { cells.set(pos, data); });
    return cells;
}

void SheetCells::writeCell(const detail::CellPos& pos, const ClipCell& data) {
    auto& book = *book_;
    auto& cell = detail::writableCell(*sheet_, pos.row, pos.column);
    if (cell.flags & detail::kHasFormula) {
        book.formulaOverwritten = true;
    }
    if (!data.value.isEmpty() &&
        book.styles.formatCode(book.styles.xf(cell.style).numFmtId) != data.numberFormat) {
        cell.style = detail::styleWithFormat(book, cell.style, data.numberFormat);
    }
    detail::assignValue(book, cell, data.value);
    sheet_->written.push_back({pos.row, pos.column, true});
    book.changed = true;
}

void SheetCells::write(const detail::CellMap& cells) {
    for (const auto& [pos, data] : cells) {
        writeCell(pos, data);
    }
}

void SheetCells::write(const detail::CellMap& cells, const std::vector<detail::Area>& areas) {
    for (const auto& area : areas) {
        auto it = cells.lower_bound({area.top, area.left});
        for (; it != cells.end() && it->first.row <= area.bottom; ++it) {
            const auto& [pos, data] = *it;
            if (pos.column < area.left) {
                it = std::prev(cells.lower_bound({pos.row, area.left}));
            } else if (pos.column > area.right) {
                it = std::prev(cells.lower_bound({pos.row + 1, area.left}));
            } else {
                writeCell(pos, data);
            }
        }
    }
}

void SheetCells::write(const detail::CellGrid& cells, const std::vector<detail::Area>& areas) {
    detail::unmergeAreas(*book_, *sheet_, areas);
    for (const auto& area : areas) {
        cells.forEachIn(
            area, [&](const detail::CellPos& pos, const ClipCell& data) { writeCell(pos, data); });
    }
}

std::optional<detail::Area> SheetCells::visibleArea() const {
    auto& doc = book_->package.xml(book_->workbookPart);
    const auto oleSize = detail::child(doc.document_element(), "oleSize");
    return detail::parseArea(oleSize.attribute("ref").value());
}

void SheetCells::setVisibleArea(const detail::Area& area) {
    auto& doc = book_->package.xml(book_->workbookPart);
    auto root = doc.document_element();
    auto oleSize = detail::child(root, "oleSize");
    if (!oleSize) {
        oleSize =
            package::insertInOrder(root, package::namespaceOf(root), "oleSize", kWorkbookOrder);
    }
    auto ref = oleSize.attribute("ref");
    if (!ref) {
        ref = oleSize.append_attribute("ref");
    }
    // Office writes the visible area as a range, one cell as "A1:A1" too.
    ref = (detail::cellName(area.top, area.left) + ":" + detail::cellName(area.bottom, area.right))
              .c_str();
    book_->package.markDirty(book_->workbookPart);
}

std::vector<std::uint8_t> SheetCells::save() {
    detail::storeChanges(*book_);
    return book_->package.saveBytes();
}

}  // namespace office::excel
