// Binary workbooks (.xls) made record by record: every cell record, shared strings split
// across Continue records, the sheet list, the date system, formats and borders, and the
// clear refusals of what is not read, and of damaged records.

#include <gtest/gtest.h>

#include <cmath>

#include "excel_test_support.h"
#include "office/error.h"
#include "office/excel.h"
#include "office/package/package.h"
#include "support/office_error.h"
#include "xls_test_support.h"

namespace {

using namespace office::excel;
using namespace xls_test;
using office::ErrorCode;
using office::Value;

// XF: font, format, alignment byte, the two border words, the colour word.
Bytes xf(int font, int format, std::uint32_t border1 = 0, std::uint32_t border2 = 0,
         unsigned colors = 0x20C0, std::uint8_t align = 0x20) {
    Bytes out;
    put16(out, font);
    put16(out, format);
    put16(out, 0x0001);  // locked, a cell XF of parent 0
    out.push_back(align);
    out.push_back(0);
    out.push_back(0);
    out.push_back(0);
    put32(out, border1);
    put32(out, border2);
    put16(out, colors);
    return out;
}

Bytes font(const std::u16string& name, unsigned twips, unsigned weight, unsigned color) {
    Bytes out;
    put16(out, twips);
    put16(out, 0x0002);  // italic
    put16(out, color);
    put16(out, weight);
    put16(out, 0);
    out.push_back(0);  // underline
    out.push_back(2);  // family
    out.push_back(0);  // charset
    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(name.size()));
    putChars(out, name);
    return out;
}

Bytes format(int id, const std::u16string& code) {
    Bytes out;
    put16(out, id);
    return out + unicodeString(code);
}

// Globals that every test workbook has: two fonts, a custom format, four XFs
// (0 plain, 1 a date, 2 the custom format, 3 bordered and filled in bold).
void standardGlobals(StreamBuilder& builder, unsigned page = 1200) {
    Bytes codePage;
    put16(codePage, page);
    builder.global(0x0042, codePage);
    builder.global(0x0031, font(u"Arial", 200, 400, 0x7FFF));
    builder.global(0x0031, font(u"Calibri", 240, 700, 10));
    builder.global(0x041E, format(164, u"0.0%"));
    builder.global(0x00E0, xf(0, 0));
    builder.global(0x00E0, xf(0, 14));
    builder.global(0x00E0, xf(0, 164));
    // left thin, right medium dashed, top double, bottom hair; solid fill in palette red
    const std::uint32_t border1 = 0x1 | (0x8 << 4) | (0x6 << 8) | (0x7 << 12) | (8u << 16);
    const std::uint32_t border2 = 8 | (8 << 7) | (1u << 26);
    builder.global(0x00E0, xf(1, 0, border1, border2, 10 | (65 << 7)));
    // An extension of XF 3 that gives the fill's foreground as full RGB 12 34 56.
    Bytes ext{0x7D, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (unsigned v : {0u, 3u, 0u, 1u, 4u, 20u, 2u, 0u}) {
        put16(ext, v);
    }
    ext.insert(ext.end(), {0x12, 0x34, 0x56, 0});
    ext.resize(ext.size() + 8, 0);
    builder.global(0x087D, ext);
}

Bytes sst(const std::vector<std::u16string>& strings) {
    Bytes out;
    put32(out, static_cast<std::uint32_t>(strings.size()));
    put32(out, static_cast<std::uint32_t>(strings.size()));
    for (const auto& text : strings) {
        out = out + unicodeString(text);
    }
    return out;
}

Bytes labelSst(int row, int column, std::uint32_t index, int style = 0) {
    Bytes out = cellHead(row, column, style);
    put32(out, index);
    return out;
}

Bytes number(int row, int column, double value, int style = 0) {
    Bytes out = cellHead(row, column, style);
    putDouble(out, value);
    return out;
}

Bytes rk(int row, int column, std::uint32_t value) {
    Bytes out = cellHead(row, column, 0);
    put32(out, value);
    return out;
}

// A Formula record whose cached result is the eight bytes given.
Bytes formula(int row, int column, const Bytes& result) {
    Bytes out = cellHead(row, column, 0) + result;
    put16(out, 0);  // flags
    put32(out, 0);
    put16(out, 3);  // a formula of three bytes: 1 + 2 would do; what it is does not matter
    out.push_back(0x1E);
    put16(out, 1);
    return out;
}

Bytes special(std::uint8_t type, std::uint8_t value) {
    return Bytes{type, 0, value, 0, 0, 0, 0xFF, 0xFF};
}

Bytes numberResult(double value) {
    Bytes out;
    putDouble(out, value);
    return out;
}

std::filesystem::path saved(const Bytes& stream, const std::string& name,
                            const std::string& streamName = "Workbook") {
    const auto path = excel_test::scratch(name);
    writeCompound(path, {{streamName, stream}});
    return path;
}

// Opens the workbook saved at path.
void openSaved(const std::filesystem::path& path) {
    excel_test::open(path.string());
}

SheetStream cellSheet() {
    SheetStream sheet{u"Data", 0, 0, {}};
    auto& r = sheet.records;
    r.emplace_back(0x00FD, labelSst(1, 1, 0));
    r.emplace_back(0x00FD, labelSst(1, 2, 1));
    r.emplace_back(0x0204, cellHead(2, 1, 0) + unicodeString(u"Ünïcode ж"));
    r.emplace_back(0x0203, number(3, 1, 0.25, 2));
    r.emplace_back(0x027E, rk(3, 2, (42u << 2) | 2));                          // integer
    r.emplace_back(0x027E, rk(3, 3, (1234u << 2) | 3));                        // integer / 100
    r.emplace_back(0x027E, rk(3, 4, 0x3FE00000u));                             // 0.5
    r.emplace_back(0x027E, rk(3, 5, static_cast<std::uint32_t>(-7 * 4) | 2));  // negative
    Bytes mulRk = cellHead(4, 1, 0);
    mulRk.resize(4);  // row and first column only
    for (std::uint32_t v : {1u, 2u, 3u}) {
        put16(mulRk, 0);
        put32(mulRk, (v << 2) | 2);
    }
    put16(mulRk, 2);
    r.emplace_back(0x00BD, mulRk);
    r.emplace_back(0x0201, cellHead(5, 1, 3));
    Bytes mulBlank = cellHead(5, 2, 3);
    put16(mulBlank, 3);
    put16(mulBlank, 2);
    r.emplace_back(0x00BE, mulBlank);
    r.emplace_back(0x0205, cellHead(6, 1, 0) + Bytes{1, 0});
    r.emplace_back(0x0205, cellHead(6, 2, 0) + Bytes{0x07, 1});
    r.emplace_back(0x0006, formula(7, 1, numberResult(3.5)));
    r.emplace_back(0x0006, formula(7, 2, special(0, 0)));
    r.emplace_back(0x04BC, Bytes(12, 0));  // a shared formula between the formula and its text
    r.emplace_back(0x0207, unicodeString(u"joined"));
    r.emplace_back(0x0006, formula(7, 3, special(1, 0)));
    r.emplace_back(0x0006, formula(7, 4, special(2, 0x2A)));
    r.emplace_back(0x0006, formula(7, 5, special(3, 0)));
    r.emplace_back(0x0203, number(8, 1, 45366, 1));
    Bytes merge;
    put16(merge, 1);
    for (int v : {9, 10, 0, 1}) {  // rows 10 to 11, columns A to B (0-based)
        put16(merge, v);
    }
    r.emplace_back(0x00E5, merge);
    return sheet;
}

Bytes cellWorkbook() {
    StreamBuilder builder;
    standardGlobals(builder);
    builder.global(0x00FC, sst({u"Quantity", u"Product"}));
    builder.sheet(cellSheet());
    return builder.build();
}

TEST(XlsCells, EveryCellRecordReadsAsItsValue) {
    auto opened = excel_test::open(saved(cellWorkbook(), "cells.xls").string());
    auto sheet = opened.sheet(1);
    EXPECT_EQ(sheet->Name(), "Data");
    EXPECT_EQ(sheet->Range("A1")->Value(), Value::text("Quantity"));
    EXPECT_EQ(sheet->Range("B1")->Value(), Value::text("Product"));
    EXPECT_EQ(sheet->Range("A2")->Value(), Value::text("Ünïcode ж"));
    EXPECT_EQ(sheet->Range("A3")->Value(), Value::number(0.25));
    EXPECT_EQ(sheet->Range("B3")->Value(), Value::number(42));
    EXPECT_EQ(sheet->Range("C3")->Value(), Value::number(12.34));
    EXPECT_EQ(sheet->Range("D3")->Value(), Value::number(0.5));
    EXPECT_EQ(sheet->Range("E3")->Value(), Value::number(-7));
    EXPECT_EQ(sheet->Range("A4")->Value(), Value::number(1));
    EXPECT_EQ(sheet->Range("C4")->Value(), Value::number(3));
    EXPECT_EQ(sheet->Range("A5")->Value(), Value());
    EXPECT_EQ(sheet->Range("A6")->Value(), Value::boolean(true));
    EXPECT_EQ(sheet->Range("B6")->Value(), Value::error("#DIV/0!"));
    EXPECT_EQ(sheet->Range("A7")->Value(), Value::number(3.5));
    EXPECT_EQ(sheet->Range("B7")->Value(), Value::text("joined"));
    EXPECT_EQ(sheet->Range("C7")->Value(), Value::boolean(false));
    EXPECT_EQ(sheet->Range("D7")->Value(), Value::error("#N/A"));
    EXPECT_EQ(sheet->Range("E7")->Value(), Value::text(""));
    EXPECT_EQ(sheet->Range("A8")->Value(), Value::date(45366));
    EXPECT_FALSE(opened.book->Date1904());
}

TEST(XlsCells, FormatsAndBordersComeFromTheExtendedFormats) {
    auto opened = excel_test::open(saved(cellWorkbook(), "formats.xls").string());
    auto sheet = opened.sheet(1);
    EXPECT_EQ(sheet->Range("A3")->NumberFormat(), "0.0%");
    EXPECT_EQ(sheet->Range("A3")->Text(), "25.0%");
    EXPECT_EQ(sheet->Range("B3")->NumberFormat(), "General");
    for (const char* cell : {"A5", "B5", "C5"}) {
        SCOPED_TRACE(cell);
        auto range = sheet->Range(cell);
        EXPECT_EQ(range->Borders(xlEdgeLeft).LineStyle(), xlContinuous);
        EXPECT_EQ(range->Borders(xlEdgeLeft).Weight(), 2);
        EXPECT_EQ(range->Borders(xlEdgeRight).LineStyle(), xlDash);
        EXPECT_EQ(range->Borders(xlEdgeRight).Weight(), -4138);
        EXPECT_EQ(range->Borders(xlEdgeTop).LineStyle(), xlDouble);
        EXPECT_EQ(range->Borders(xlEdgeBottom).LineStyle(), xlContinuous);
        EXPECT_EQ(range->Borders(xlEdgeBottom).Weight(), 1);
    }
    EXPECT_EQ(sheet->Range("A1")->Borders(xlEdgeLeft).LineStyle(), xlNone);
}

TEST(XlsCells, ACopyIntoAnXlsxCarriesFontsFillsBordersAndMerges) {
    const auto source = saved(cellWorkbook(), "copy-source.xls");
    const auto target = excel_test::scratch("copy-from-xls.xlsx");
    std::filesystem::copy_file(excel_test::fixture("tables.xlsx"), target,
                               std::filesystem::copy_options::overwrite_existing);
    {
        auto app = Application::Create();
        auto from = app->Workbooks()->Open(source.string());
        auto to = app->Workbooks()->Open(target.string());
        from->Worksheets()->Item(1)->Range("A1:E11")->Copy(to->Worksheets()->Item(2)->Range("A1"));
        to->Save();
        from->Close();
    }
    auto reopened = excel_test::open(target.string());
    auto sheet = reopened.sheet(2);
    EXPECT_EQ(sheet->Range("A2")->Value(), Value::text("Ünïcode ж"));
    EXPECT_EQ(sheet->Range("A3")->Text(), "25.0%");
    EXPECT_EQ(sheet->Range("A8")->Value(), Value::date(45366));
    EXPECT_EQ(sheet->Range("B5")->Borders(xlEdgeRight).LineStyle(), xlDash);
    EXPECT_EQ(sheet->Range("B5")->Borders(xlEdgeTop).LineStyle(), xlDouble);
    const auto package = office::package::Package::openFile(target.string(), "workbook");
    const std::string styles = package.read("xl/styles.xml");
    EXPECT_NE(styles.find("Calibri"), std::string::npos) << "the font did not travel";
    EXPECT_NE(styles.find("<b/>"), std::string::npos) << "bold did not travel";
    EXPECT_NE(styles.find("FFFF0000"), std::string::npos) << "the red font did not travel";
    EXPECT_NE(styles.find("<fgColor rgb=\"FF123456\"/>"), std::string::npos)
        << "the fill's colour of the extension did not travel";
    EXPECT_NE(styles.find("mediumDashed"), std::string::npos);
    EXPECT_NE(package.read("xl/worksheets/sheet2.xml").find("A10:B11"), std::string::npos)
        << "the merged area did not travel";
}

TEST(XlsStrings, AStringSplitAcrossContinueRecordsRestartsWithAFlagsByte) {
    StreamBuilder builder;
    standardGlobals(builder);
    // "abcжёй": three 8-bit characters in the SST, three 16-bit ones in the Continue record
    // after a new flags byte; then a rich string whose formatting runs straddle the next
    // Continue record (runs carry no flags byte), then a plain string.
    Bytes first;
    put32(first, 3);
    put32(first, 3);
    put16(first, 6);
    first.push_back(0);
    first.insert(first.end(), {'a', 'b', 'c'});
    Bytes second{1};
    for (char16_t c : std::u16string(u"жёй")) {
        put16(second, c);
    }
    put16(second, 4);
    second.push_back(0x08);  // rich
    put16(second, 2);        // two runs of four bytes
    second.insert(second.end(), {'r', 'i', 'c', 'h', 0, 0, 1, 0, 2, 0});
    Bytes third{3, 0};  // the rest of the runs
    third = third + unicodeString(u"after");
    builder.global(0x00FC, first);
    builder.global(0x003C, second);
    builder.global(0x003C, third);
    SheetStream sheet{u"S", 0, 0, {}};
    for (int i = 0; i < 3; ++i) {
        sheet.records.emplace_back(0x00FD, labelSst(i + 1, 1, static_cast<std::uint32_t>(i)));
    }
    builder.sheet(sheet);
    auto opened = excel_test::open(saved(builder.build(), "split.xls").string());
    EXPECT_EQ(opened.sheet(1)->Range("A1")->Value(), Value::text("abcжёй"));
    EXPECT_EQ(opened.sheet(1)->Range("A2")->Value(), Value::text("rich"));
    EXPECT_EQ(opened.sheet(1)->Range("A3")->Value(), Value::text("after"));
}

// The bytes of "Доходы" in Windows code page 1251, as 8-bit characters.
const std::u16string kCp1251Bytes = u"\u00C4\u00EE\u00F5\u00EE\u00E4\u00FB";

Bytes eightBitWorkbook(unsigned codePage) {
    StreamBuilder builder;
    standardGlobals(builder, codePage);
    builder.sheet(
        {kCp1251Bytes, 0, 0, {{0x0204, cellHead(1, 1, 0) + unicodeString(kCp1251Bytes)}}});
    return builder.build();
}

TEST(XlsStrings, EightBitStringsAreDecodedWithTheCodePageTheWorkbookNames) {
    auto cyrillic = excel_test::open(saved(eightBitWorkbook(1251), "cp1251.xls").string());
    EXPECT_EQ(cyrillic.sheet(1)->Name(), "Доходы");
    EXPECT_EQ(cyrillic.sheet(1)->Range("A1")->Value(), Value::text("Доходы"));
    // Code page 1200, which Excel writes: 8-bit characters are the first 256 of Unicode.
    auto unicode = excel_test::open(saved(eightBitWorkbook(1200), "cp1200.xls").string());
    EXPECT_EQ(unicode.sheet(1)->Range("A1")->Value(), Value::text("Äîõîäû"));
}

TEST(XlsSheets, SheetsKeepTheirOrderNamesAndKinds) {
    StreamBuilder builder;
    standardGlobals(builder);
    SheetStream data{u"Data", 0, 0, {}};
    // An embedded chart inside the worksheet: its records are not cells of the sheet.
    Bytes chartBof;
    put16(chartBof, 0x0600);
    put16(chartBof, 0x0020);
    put32(chartBof, 0);
    put32(chartBof, 0);
    data.records.emplace_back(0x0809, chartBof);
    data.records.emplace_back(0x0203, number(1, 1, 99));
    data.records.emplace_back(0x000A, Bytes{});
    data.records.emplace_back(0x0203, number(2, 1, 7));
    builder.sheet(data);
    builder.sheet({u"Chart", 2, 0, {}});
    builder.sheet({u"Hidden", 0, 1, {{0x0203, number(1, 1, 1)}}});
    builder.sheet({u"Дефициты", 0, 0, {{0x0203, number(1, 1, 2)}}});
    auto opened = excel_test::open(saved(builder.build(), "sheets.xls").string());
    auto sheets = opened.book->Sheets();
    ASSERT_EQ(sheets->Count(), 4);
    EXPECT_EQ(sheets->Item(1)->Name(), "Data");
    EXPECT_EQ(sheets->Item(2)->Name(), "Chart");
    EXPECT_EQ(std::dynamic_pointer_cast<Worksheet>(sheets->Item(2)), nullptr);
    EXPECT_EQ(sheets->Item(3)->Name(), "Hidden");
    EXPECT_EQ(sheets->Item(4)->Name(), "Дефициты");
    auto worksheets = opened.book->Worksheets();
    ASSERT_EQ(worksheets->Count(), 3);
    EXPECT_EQ(worksheets->Item(1)->Range("A1")->Value(), Value());
    EXPECT_EQ(worksheets->Item(1)->Range("A2")->Value(), Value::number(7));
    EXPECT_EQ(worksheets->Item(3)->Range("A1")->Value(), Value::number(2));
}

TEST(XlsSheets, The1904SystemReadsAsThe1900Serial) {
    StreamBuilder builder;
    Bytes mode;
    put16(mode, 1);
    builder.global(0x0022, mode);
    standardGlobals(builder);
    builder.sheet({u"S", 0, 0, {{0x0203, number(1, 1, 0, 1)}}});
    auto opened = excel_test::open(saved(builder.build(), "1904.xls").string());
    EXPECT_TRUE(opened.book->Date1904());
    EXPECT_EQ(opened.sheet(1)->Range("A1")->Value(), Value::date(1462));
}

TEST(XlsCells, CellsOutOfOrderAreSortedAndTheLaterRecordOfACellCounts) {
    StreamBuilder builder;
    standardGlobals(builder);
    builder.sheet({u"S",
                   0,
                   0,
                   {{0x0203, number(3, 1, 1)},
                    {0x0203, number(3, 3, 5)},
                    {0x0203, number(1, 2, 2)},
                    {0x0203, number(1, 1, 3)},
                    {0x0203, number(3, 1, 4)},
                    {0x0006, formula(3, 2, special(0, 0))},
                    {0x0207, unicodeString(u"late text")}}});
    auto opened = excel_test::open(saved(builder.build(), "order.xls").string());
    auto sheet = opened.sheet(1);
    EXPECT_EQ(sheet->Range("A1")->Value(), Value::number(3));
    EXPECT_EQ(sheet->Range("B1")->Value(), Value::number(2));
    EXPECT_EQ(sheet->Range("A3")->Value(), Value::number(4));
    EXPECT_EQ(sheet->Range("B3")->Value(), Value::text("late text"));
    EXPECT_EQ(sheet->Range("C3")->Value(), Value::number(5));
    EXPECT_EQ(sheet->Range("A2")->Value(), Value());
}

// Formula records as older writers number them (0x0206, 0x0406) hold formula cells too.
TEST(XlsCells, FormulaRecordsOfOlderWritersReadAsFormulaCells) {
    StreamBuilder builder;
    standardGlobals(builder);
    builder.sheet({u"S",
                   0,
                   0,
                   {{0x0406, formula(4, 1, numberResult(3))},
                    {0x0206, formula(4, 2, special(0, 0))},
                    {0x0207, unicodeString(u"text")}}});
    auto opened = excel_test::open(saved(builder.build(), "older.xls").string());
    auto sheet = opened.sheet(1);
    EXPECT_EQ(sheet->Range("A4")->Value(), Value::number(3));
    EXPECT_EQ(sheet->Range("B4")->Value(), Value::text("text"));
}

TEST(XlsSheets, AWorkbookIsKnownByItsContentNotItsName) {
    const auto binary = excel_test::scratch("binary-named.xlsx");
    std::filesystem::copy_file(std::string(TABULON_FIXTURES_DIR) + "/xls/basic.xls", binary,
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(excel_test::open(binary.string()).sheet(1)->Range("B2")->Value(), Value::number(42));
    const auto package = excel_test::scratch("package-named.xls");
    std::filesystem::copy_file(excel_test::fixture("basic.xlsx"), package,
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(excel_test::open(package.string()).sheet(1)->Range("B2")->Value(), Value::number(42));
}

// ---- refusals and damage ----

TEST(XlsRefusals, WhatIsNotReadFailsClearlyNamingTheFile) {
    StreamBuilder old;
    old.version = 0x0500;
    old.sheet({u"S", 0, 0, {}});
    EXPECT_OFFICE_ERROR(openSaved(saved(old.build(), "biff5.xls")), ErrorCode::LegacyFormat,
                        "biff5.xls: Workbook stream: this workbook is of Excel 5.0/95 or older");

    EXPECT_OFFICE_ERROR(openSaved(saved(cellWorkbook(), "book.xls", "Book")),
                        ErrorCode::LegacyFormat,
                        "book.xls: this workbook is of Excel 5.0/95 or older");

    EXPECT_OFFICE_ERROR(openSaved(saved(cellWorkbook(), "other.xls", "Other")),
                        ErrorCode::LegacyFormat, "other.xls: this is a legacy binary workbook");

    StreamBuilder xored;
    xored.global(0x002F, Bytes{0, 0, 0x34, 0x12, 0x78, 0x56});
    EXPECT_OFFICE_ERROR(openSaved(saved(xored.build(), "xor.xls")), ErrorCode::Encrypted,
                        "xor.xls: Workbook stream: the workbook is protected by a password (XOR "
                        "obfuscation, which is not read)");

    // RC4 whose verifier the default password does not open: a password of the user's.
    StreamBuilder locked;
    Bytes rc4{1, 0, 1, 0, 1, 0};
    for (int i = 0; i < 48; ++i) {
        rc4.push_back(static_cast<std::uint8_t>(i * 37));
    }
    locked.global(0x002F, rc4);
    EXPECT_OFFICE_ERROR(openSaved(saved(locked.build(), "locked.xls")), ErrorCode::Encrypted,
                        "locked.xls: Workbook stream: the workbook is protected by a password");
}

TEST(XlsRefusals, ABinaryWorkbookIsNotSaved) {
    const auto path = saved(cellWorkbook(), "readonly.xls");
    auto opened = excel_test::open(path.string());
    const std::string refusal =
        "readonly.xls: a workbook read from an Excel 97-2003 file (.xls) is not saved";
    EXPECT_OFFICE_ERROR(opened.book->Save(), ErrorCode::NotSupported, refusal);
    EXPECT_OFFICE_ERROR(opened.book->SaveAs(excel_test::scratch("readonly-copy.xlsx").string()),
                        ErrorCode::NotSupported, refusal);
    EXPECT_FALSE(std::filesystem::exists(excel_test::scratch("readonly-copy.xlsx")));
}

TEST(XlsDamage, ADamagedRecordFailsWithItsStreamOffset) {
    struct Case {
        const char* name;
        Bytes stream;
        const char* expected;
    };
    std::vector<Case> cases;
    {
        Bytes truncated = cellWorkbook();
        truncated.resize(truncated.size() - 3);  // inside the last record
        cases.push_back(
            {"truncated", truncated, "at offset 719: the stream ends inside a record header"});
    }
    {
        StreamBuilder builder;
        standardGlobals(builder);
        builder.global(0x00FC, sst({u"one"}));
        builder.sheet({u"S", 0, 0, {{0x00FD, labelSst(1, 1, 5)}}});
        cases.push_back({"string index", builder.build(),
                         "record 0x00FD at offset 286: the cell refers to shared string 5 of 1"});
    }
    {
        StreamBuilder builder;
        standardGlobals(builder);
        builder.sheet({u"S", 0, 0, {{0x0203, Bytes{0, 0, 0, 0}}}});
        cases.push_back({"short number", builder.build(),
                         "record 0x0203 at offset 268: the record ends too early"});
    }
    {
        StreamBuilder builder;
        standardGlobals(builder);
        builder.sheet({u"S", 0, 0, {{0x0203, number(1, 20000, 1)}}});
        cases.push_back(
            {"column", builder.build(),
             "record 0x0203 at offset 268: a cell lies in column 20000, beyond the last column"});
    }
    {
        StreamBuilder builder;
        standardGlobals(builder);
        builder.sheet({u"S", 0, 0, {{0x0203, number(1, 1, std::nan(""))}}});
        cases.push_back({"not a number", builder.build(),
                         "record 0x0203 at offset 268: a cell holds a number that is not finite"});
    }
    {
        StreamBuilder builder;
        standardGlobals(builder);
        builder.sheet({u"S", 0, 0, {{0x0406, formula(4, 1, special(7, 0))}}});
        cases.push_back({"formula result", builder.build(),
                         "record 0x0406 at offset 268: the formula in cell A4 has a result of "
                         "unknown kind 7"});
    }
    {
        Bytes noEnd = cellWorkbook();
        noEnd.resize(noEnd.size() - 4);  // the last sheet's EOF
        cases.push_back({"no end", noEnd, "at offset 719: a sheet has no end (EOF)"});
    }
    {
        StreamBuilder builder;
        builder.global(0x00FC, Bytes{5, 0, 0, 0, 5, 0, 0, 0, 200, 0, 0, 'a'});
        cases.push_back({"short string", builder.build(),
                         "record 0x00FC at offset 20: a string ends too early"});
    }
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_OFFICE_ERROR(openSaved(saved(test.stream, "damaged.xls")), ErrorCode::CorruptPart,
                            std::string("damaged.xls: Workbook stream: ") + test.expected);
    }
}

// A damaged compound file is refused naming its damage, not as a format to convert.
TEST(XlsDamage, ADamagedCompoundFileFailsNamingItsDamage) {
    const Bytes file = office::compound::create({{"Workbook", cellWorkbook()}});
    auto u32 = [](const Bytes& b, std::size_t at) {
        return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
    };
    auto withWord = [](Bytes b, std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
        return b;
    };
    // The FAT entries of the directory's first sector and of the mini stream's (which the
    // root entry names), in the first FAT sector.
    const std::uint32_t directory = u32(file, 0x30);
    const std::uint32_t miniStream = u32(file, (directory + 1) * 512 + 0x74);
    const std::uint32_t miniSize = u32(file, (directory + 1) * 512 + 0x78);
    auto fatEntry = [&](std::uint32_t sector) { return (u32(file, 0x4C) + 1) * 512 + 4 * sector; };
    const struct {
        Bytes bytes;
        std::string expected;
    } cases[] = {
        {withWord(file, 0x4C, 0x00FFFFFF), "FAT sector 16777215 lies beyond the end of the file"},
        {withWord(file, fatEntry(directory), directory),
         "the directory chain reaches sector " + std::to_string(directory) + " a second time"},
        {withWord(file, fatEntry(miniStream), 0xFFFFFFFE),  // cut after its first sector
         "the mini stream holds " + std::to_string(miniSize) + " bytes but its chain 512"},
    };
    for (const auto& test : cases) {
        const auto path = excel_test::scratch("broken.xls");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(test.bytes.data()),
                   static_cast<std::streamsize>(test.bytes.size()));
        EXPECT_OFFICE_ERROR(openSaved(path), ErrorCode::CorruptPart,
                            "broken.xls: " + test.expected);
    }
}

}  // namespace
