#include "office/graph/sheet_cells.h"

#include <zip.h>

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>

#include "office/error.h"

namespace office::graph::detail {

namespace {

constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kRelNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// The text of a shared string or inline string: its t, or the t of each run.
std::string stringItemText(pugi::xml_node item) {
    if (pugi::xml_node t = item.child("t")) {
        return t.text().get();
    }
    std::string text;
    for (pugi::xml_node r : item.children("r")) {
        text += r.child("t").text().get();
    }
    return text;
}

pugi::xml_node rowFor(pugi::xml_node sheetData, int row) {
    pugi::xml_node after;
    for (pugi::xml_node r = sheetData.last_child(); r; r = r.previous_sibling()) {
        const int at = r.attribute("r").as_int();
        if (at == row) {
            return r;
        }
        if (at < row) {
            after = r;
            break;
        }
    }
    pugi::xml_node created =
        after ? sheetData.insert_child_after("row", after) : sheetData.prepend_child("row");
    created.append_attribute("r") = row;
    return created;
}

pugi::xml_node cellFor(pugi::xml_node row, int rowNumber, int column) {
    pugi::xml_node after;
    for (pugi::xml_node c = row.last_child(); c; c = c.previous_sibling("c")) {
        const auto pos = parseCellName(c.attribute("r").value());
        if (pos && pos->column == column) {
            return c;
        }
        if (pos && pos->column < column) {
            after = c;
            break;
        }
    }
    pugi::xml_node created = after ? row.insert_child_after("c", after) : row.prepend_child("c");
    created.append_attribute("r") = cellName(rowNumber, column).c_str();
    return created;
}

Area unite(const Area& a, const Area& b) {
    return {std::min(a.top, b.top), std::min(a.left, b.left), std::max(a.bottom, b.bottom),
            std::max(a.right, b.right)};
}

bool overlaps(const Area& a, const Area& b) {
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

std::string areaText(const Area& a) {
    if (a.top == a.bottom && a.left == a.right) {
        return cellName(a.top, a.left);
    }
    return cellName(a.top, a.left) + ":" + cellName(a.bottom, a.right);
}

std::optional<Area> parseArea(std::string_view text) {
    const auto ref = parseRef(text);
    if (!ref) {
        return std::nullopt;
    }
    return ref->area;
}

}  // namespace

SheetCells::SheetCells(std::vector<std::uint8_t> bytes, std::string displayName,
                       const std::string& sheet)
    : package_(package::Package::openBytes(std::move(bytes), std::move(displayName), "workbook")) {
    const package::Relationships packageRels = package_.relationships("");
    const auto* main = packageRels.findByType("/officeDocument");
    if (!main) {
        throw Error(ErrorCode::CorruptPart,
                    package_.displayName() + ": the embedded workbook has no workbook part");
    }
    const std::string workbookPart = package::resolveTarget("", main->target);
    const pugi::xml_document& workbook = package_.xml(workbookPart);
    const pugi::xml_node root = workbook.document_element();
    date1904_ = root.child("workbookPr").attribute("date1904").as_bool(false);
    const package::Relationships rels = package_.relationships(workbookPart);
    pugi::xml_node chosen;
    for (pugi::xml_node s : root.child("sheets").children("sheet")) {
        if (!chosen || sheet == s.attribute("name").value()) {
            chosen = s;
        }
        if (sheet == s.attribute("name").value()) {
            break;
        }
    }
    const auto* sheetRel = chosen ? rels.find(chosen.attribute("r:id").value()) : nullptr;
    if (!sheetRel) {
        throw Error(ErrorCode::CorruptPart, package_.displayName() + ": " + workbookPart +
                                                ": no worksheet to hold the "
                                                "chart's data");
    }
    sheetName_ = chosen.attribute("name").value();
    sheetPart_ = package::resolveTarget(workbookPart, sheetRel->target);
    if (const auto* styles = rels.findByType("/styles")) {
        stylesPart_ = package::resolveTarget(workbookPart, styles->target);
    }
    if (const auto* strings = rels.findByType("/sharedStrings")) {
        stringsPart_ = package::resolveTarget(workbookPart, strings->target);
    }
}

void SheetCells::loadSharedStrings() {
    if (stringsLoaded_) {
        return;
    }
    stringsLoaded_ = true;
    if (stringsPart_.empty() || !package_.has(stringsPart_)) {
        return;
    }
    for (pugi::xml_node si : package_.xml(stringsPart_).document_element().children("si")) {
        strings_.push_back(stringItemText(si));
    }
}

std::string SheetCells::formatOf(int styleIndex) {
    if (stylesPart_.empty()) {
        return "General";
    }
    const pugi::xml_node styles = package_.xml(stylesPart_).document_element();
    pugi::xml_node xf = styles.child("cellXfs").first_child();
    for (int i = 0; i < styleIndex && xf; ++i) {
        xf = xf.next_sibling();
    }
    const int id = xf.attribute("numFmtId").as_int(0);
    for (pugi::xml_node f : styles.child("numFmts").children("numFmt")) {
        if (f.attribute("numFmtId").as_int(-1) == id) {
            return f.attribute("formatCode").value();
        }
    }
    const std::string builtin = builtinFormat(id);
    return builtin.empty() ? "General" : builtin;
}

CellMap SheetCells::read(const Area& area) {
    CellMap cells;
    loadSharedStrings();
    const pugi::xml_node sheetData = package_.xml(sheetPart_).document_element().child("sheetData");
    for (pugi::xml_node row : sheetData.children("row")) {
        const int r = row.attribute("r").as_int();
        if (r < area.top || r > area.bottom) {
            continue;
        }
        for (pugi::xml_node c : row.children("c")) {
            const auto pos = parseCellName(c.attribute("r").value());
            if (!pos || pos->column < area.left || pos->column > area.right) {
                continue;
            }
            CellData cell;
            cell.numberFormat = formatOf(c.attribute("s").as_int(0));
            const std::string_view type = c.attribute("t").value();
            const std::string v = c.child("v").text().get();
            if (type == "s") {
                const auto index = static_cast<std::size_t>(parseNumber(v));
                cell.value = Value::text(index < strings_.size() ? strings_[index] : "");
            } else if (type == "inlineStr") {
                cell.value = Value::text(stringItemText(c.child("is")));
            } else if (type == "str") {
                cell.value = Value::text(v);
            } else if (type == "b") {
                cell.value = Value::boolean(v == "1");
            } else if (type == "e") {
                cell.value = Value::error(v);
            } else if (!v.empty()) {
                const double n = parseNumber(v);
                cell.value = isDateFormat(cell.numberFormat)
                                 ? Value::date(n + (date1904_ ? 1462 : 0))
                                 : Value::number(n);
            }
            if (!cell.value.isEmpty()) {
                cells[*pos] = std::move(cell);
            }
        }
    }
    return cells;
}

int SheetCells::sharedString(const std::string& text) {
    loadSharedStrings();
    pugi::xml_node sst = package_.xml(stringsPart_).document_element();
    package_.markDirty(stringsPart_);
    sst.attribute("count") = sst.attribute("count").as_int() + 1;
    const auto found = std::find(strings_.begin(), strings_.end(), text);
    if (found != strings_.end()) {
        return static_cast<int>(found - strings_.begin());
    }
    pugi::xml_node t = sst.append_child("si").append_child("t");
    t.text().set(text.c_str());
    if (!text.empty() &&
        (text.front() == ' ' || text.back() == ' ' || text.find('\n') != std::string::npos)) {
        t.append_attribute("xml:space") = "preserve";
    }
    strings_.push_back(text);
    if (!sst.attribute("uniqueCount")) {
        sst.append_attribute("uniqueCount");
    }
    sst.attribute("uniqueCount") = static_cast<int>(strings_.size());
    return static_cast<int>(strings_.size()) - 1;
}

int SheetCells::styleWithFormat(int styleIndex, const std::string& format) {
    if (stylesPart_.empty()) {
        return styleIndex;
    }
    pugi::xml_node styles = package_.xml(stylesPart_).document_element();
    int id = builtinFormatId(format);
    pugi::xml_node numFmts = styles.child("numFmts");
    if (id < 0) {
        int highest = 163;
        for (pugi::xml_node f : numFmts.children("numFmt")) {
            highest = std::max(highest, f.attribute("numFmtId").as_int());
            if (f.attribute("formatCode").value() == format) {
                id = f.attribute("numFmtId").as_int();
            }
        }
        if (id < 0) {
            if (!numFmts) {
                numFmts = styles.prepend_child("numFmts");
                numFmts.append_attribute("count") = 0;
            }
            id = highest + 1;
            pugi::xml_node f = numFmts.append_child("numFmt");
            f.append_attribute("numFmtId") = id;
            f.append_attribute("formatCode") = format.c_str();
            numFmts.attribute("count") = static_cast<int>(std::distance(
                numFmts.children("numFmt").begin(), numFmts.children("numFmt").end()));
        }
    }
    pugi::xml_node cellXfs = styles.child("cellXfs");
    pugi::xml_node base = cellXfs.first_child();
    for (int i = 0; i < styleIndex && base; ++i) {
        base = base.next_sibling();
    }
    if (!base) {
        return styleIndex;
    }
    pugi::xml_document scratch;
    pugi::xml_node candidate = scratch.append_copy(base);
    candidate.attribute("numFmtId") = id;
    if (!candidate.attribute("applyNumberFormat")) {
        candidate.append_attribute("applyNumberFormat");
    }
    candidate.attribute("applyNumberFormat") = 1;
    const std::string wanted = package::nodeText(candidate);
    int index = 0;
    for (pugi::xml_node xf : cellXfs.children("xf")) {
        if (package::nodeText(xf) == wanted) {
            return index;
        }
        ++index;
    }
    cellXfs.append_copy(candidate);
    cellXfs.attribute("count") = index + 1;
    package_.markDirty(stylesPart_);
    return index;
}

void SheetCells::write(const CellMap& cells) {
    if (cells.empty()) {
        return;
    }
    pugi::xml_node worksheet = package_.xml(sheetPart_).document_element();
    pugi::xml_node sheetData = worksheet.child("sheetData");
    bool formulaRemoved = false;
    Area written{cells.begin()->first.row, cells.begin()->first.column, 0, 0};
    written.bottom = written.top;
    written.right = written.left;
    for (const auto& [pos, cell] : cells) {
        written = unite(written, {pos.row, pos.column, pos.row, pos.column});
        pugi::xml_node c = cellFor(rowFor(sheetData, pos.row), pos.row, pos.column);
        formulaRemoved = formulaRemoved || c.child("f");
        c.remove_children();
        c.remove_attribute("t");
        const Value& v = cell.value;
        const int style = c.attribute("s").as_int(0);
        if (!v.isEmpty() && formatOf(style) != cell.numberFormat) {
            const int changed = styleWithFormat(style, cell.numberFormat);
            if (!c.attribute("s")) {
                c.append_attribute("s");
            }
            c.attribute("s") = changed;
        }
        switch (v.kind()) {
            case Value::Kind::Empty:
                break;
            case Value::Kind::Number:
                c.append_child("v").text().set(numberText(v.asNumber()).c_str());
                break;
            case Value::Kind::Date:
                c.append_child("v").text().set(
                    numberText(v.asNumber() - (date1904_ ? 1462 : 0)).c_str());
                break;
            case Value::Kind::Boolean:
                c.append_attribute("t") = "b";
                c.append_child("v").text().set(v.asBoolean() ? "1" : "0");
                break;
            case Value::Kind::Error:
                c.append_attribute("t") = "e";
                c.append_child("v").text().set(v.asText().c_str());
                break;
            case Value::Kind::Text:
                if (stringsPart_.empty()) {
                    c.append_attribute("t") = "inlineStr";
                    pugi::xml_node t = c.append_child("is").append_child("t");
                    t.text().set(v.asText().c_str());
                    t.append_attribute("xml:space") = "preserve";
                    break;
                }
                c.append_attribute("t") = "s";
                c.append_child("v").text().set(sharedString(v.asText()));
                break;
        }
    }
    pugi::xml_node dimension = worksheet.child("dimension");
    if (dimension) {
        const auto old = parseArea(dimension.attribute("ref").value());
        dimension.attribute("ref") = areaText(old ? unite(*old, written) : written).c_str();
    }
    package_.markDirty(sheetPart_);
    growTables(written);
    if (formulaRemoved) {
        dropCalcChain();
    }
}

void SheetCells::growTables(const Area& written) {
    const package::Relationships rels = package_.relationships(sheetPart_);
    for (const package::Relationship* rel : rels.allByType("/table")) {
        const std::string part = package::resolveTarget(sheetPart_, rel->target);
        if (!package_.has(part)) {
            continue;
        }
        pugi::xml_node table = package_.xml(part).document_element();
        const auto old = parseArea(table.attribute("ref").value());
        if (!old || !overlaps(*old, written)) {
            continue;
        }
        const Area grown = unite(*old, written);
        table.attribute("ref") = areaText(grown).c_str();
        if (pugi::xml_node filter = table.child("autoFilter")) {
            filter.attribute("ref") = areaText(grown).c_str();
        }
        // One table column per sheet column, named by the header cells.
        pugi::xml_node columns = table.child("tableColumns");
        const CellMap header = read({grown.top, grown.left, grown.top, grown.right});
        std::vector<std::string> used;
        int nextId = 1;
        for (pugi::xml_node col : columns.children("tableColumn")) {
            nextId = std::max(nextId, col.attribute("id").as_int() + 1);
        }
        pugi::xml_node col = columns.first_child();
        for (int column = grown.left; column <= grown.right; ++column) {
            const auto it = header.find({grown.top, column});
            std::string name = it != header.end() ? it->second.value.toString() : "";
            if (name.empty()) {
                name = "Column" + std::to_string(column - grown.left + 1);
            }
            for (int n = 2; std::find(used.begin(), used.end(), name) != used.end(); ++n) {
                name += std::to_string(n);
            }
            used.push_back(name);
            if (!col) {
                col = columns.append_child("tableColumn");
                col.append_attribute("id") = nextId++;
                col.append_attribute("name");
            }
            col.attribute("name") = name.c_str();
            col = col.next_sibling("tableColumn");
        }
        columns.attribute("count") = grown.columns();
        package_.markDirty(part);
    }
}

void SheetCells::dropCalcChain() {
    const package::Relationships packageRels = package_.relationships("");
    const auto* main = packageRels.findByType("/officeDocument");
    const std::string workbookPart = package::resolveTarget("", main->target);
    package::Relationships rels = package_.relationships(workbookPart);
    const auto* chain = rels.findByType("/calcChain");
    if (!chain) {
        return;
    }
    const std::string id = chain->id;
    package_.remove(package::resolveTarget(workbookPart, chain->target));
    rels.remove(id);
    package_.setRelationships(workbookPart, rels);
}

// ---- a new workbook -----------------------------------------------------------------------

namespace {

struct ZipSourceDeleter {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};

std::string escapeAttribute(const std::string& text) {
    pugi::xml_document doc;
    doc.append_child("x").append_attribute("v") = text.c_str();
    const std::string raw = package::nodeText(doc.first_child());
    const auto open = raw.find('"');
    return raw.substr(open + 1, raw.rfind('"') - open - 1);
}

}  // namespace

std::vector<std::uint8_t> SheetCells::newWorkbook(const std::string& sheet) {
    const std::string decl = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    const std::vector<std::pair<std::string, std::string>> parts = {
        {"[Content_Types].xml",
         decl +
             R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
             R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
             R"(<Default Extension="xml" ContentType="application/xml"/>)"
             R"(<Override PartName="/xl/workbook.xml" ContentType=")" +
             ct +
             R"(sheet.main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" ContentType=")" +
             ct + R"(worksheet+xml"/><Override PartName="/xl/styles.xml" ContentType=")" + ct +
             R"(styles+xml"/><Override PartName="/xl/sharedStrings.xml" ContentType=")" + ct +
             R"(sharedStrings+xml"/></Types>)"},
        {"_rels/.rels",
         decl +
             R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
             R"(<Relationship Id="rId1" Type=")" +
             rel + R"(/officeDocument" Target="xl/workbook.xml"/></Relationships>)"},
        {"xl/workbook.xml", decl + R"(<workbook xmlns=")" + std::string(kMainNs) +
                                R"(" xmlns:r=")" + std::string(kRelNs) +
                                R"("><sheets><sheet name=")" + escapeAttribute(sheet) +
                                R"(" sheetId="1" r:id="rId1"/></sheets></workbook>)"},
        {"xl/_rels/workbook.xml.rels",
         decl +
             R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
             R"(<Relationship Id="rId1" Type=")" +
             rel + R"(/worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type=")" +
             rel + R"(/styles" Target="styles.xml"/><Relationship Id="rId3" Type=")" + rel +
             R"(/sharedStrings" Target="sharedStrings.xml"/></Relationships>)"},
        {"xl/worksheets/sheet1.xml", decl + R"(<worksheet xmlns=")" + std::string(kMainNs) +
                                         R"("><dimension ref="A1"/><sheetData/></worksheet>)"},
        {"xl/styles.xml",
         decl + R"(<styleSheet xmlns=")" + std::string(kMainNs) +
             R"("><fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>)"
             R"(<fills count="2"><fill><patternFill patternType="none"/></fill>)"
             R"(<fill><patternFill patternType="gray125"/></fill></fills>)"
             R"(<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>)"
             R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>)"
             R"(<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>)"
             R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>)"
             R"(</styleSheet>)"},
        {"xl/sharedStrings.xml",
         decl + R"(<sst xmlns=")" + std::string(kMainNs) + R"(" count="0" uniqueCount="0"/>)"},
    };

    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_source_t, ZipSourceDeleter> buffer(
        zip_source_buffer_create(nullptr, 0, 0, &error));
    zip_t* archive = buffer ? zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error) : nullptr;
    if (!archive) {
        zip_error_fini(&error);
        throw Error(ErrorCode::WriteFailed, "cannot create a workbook for the chart's data");
    }
    zip_source_keep(buffer.get());
    for (const auto& [name, text] : parts) {
        zip_source_t* data = zip_source_buffer(archive, text.data(), text.size(), 0);
        if (!data || zip_file_add(archive, name.c_str(), data, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(data);
            zip_discard(archive);
            throw Error(ErrorCode::WriteFailed, "cannot create a workbook for the chart's data");
        }
    }
    if (zip_close(archive) < 0) {
        zip_discard(archive);
        throw Error(ErrorCode::WriteFailed, "cannot create a workbook for the chart's data");
    }
    zip_stat_t stat;
    std::vector<std::uint8_t> bytes;
    if (zip_source_stat(buffer.get(), &stat) == 0 && zip_source_open(buffer.get()) == 0) {
        bytes.resize(stat.size);
        zip_source_read(buffer.get(), bytes.data(), stat.size);
        zip_source_close(buffer.get());
    }
    zip_error_fini(&error);
    return bytes;
}

}  // namespace office::graph::detail
