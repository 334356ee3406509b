// Bad input is refused with an office::Error whose text names the file and the problem.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "excel_test_support.h"
#include "office/compound/compound_file.h"
#include "office/excel.h"
#include "office/excel/embedded.h"
#include "office/package/package.h"
#include "support/office_error.h"

namespace {

using office::ErrorCode;

// Opening path fails with code and a text that contains `text`, and leaves no workbook behind.
void expectOpenFails(const std::string& path, ErrorCode code, const std::string& text) {
    SCOPED_TRACE(path);
    auto app = office::excel::Application::Create();
    EXPECT_OFFICE_ERROR(app->Workbooks()->Open(path), code, text);
    EXPECT_EQ(app->Workbooks()->Count(), 0) << "a failed open left a workbook behind";
}

std::string write(const std::string& name, const std::string& bytes) {
    const auto path = excel_test::scratch(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

TEST(ExcelBadInput, MissingFileAndFolder) {
    expectOpenFails(excel_test::scratch("nowhere.xlsx").string(), ErrorCode::FileNotFound,
                    "nowhere.xlsx: no such file");
    const auto folder = excel_test::scratch("folder.xlsx");
    std::filesystem::create_directories(folder);
    expectOpenFails(folder.string(), ErrorCode::FileAccess,
                    "folder.xlsx: is a folder, not a workbook");
}

TEST(ExcelBadInput, EmptyNotAZipAndNoWorkbook) {
    expectOpenFails(write("empty.xlsx", ""), ErrorCode::NotADocument,
                    "empty.xlsx: the file is empty");
    expectOpenFails(write("text.xlsx", "just some text, not a package"), ErrorCode::NotADocument,
                    "text.xlsx: not a workbook: the file is not a zip package");
    expectOpenFails(excel_test::fixture("no_workbook.xlsx"), ErrorCode::NotADocument,
                    "no_workbook.xlsx: the package holds no workbook");
}

TEST(ExcelBadInput, APresentationIsNoWorkbook) {
    const std::string pptx = std::string(TABULON_FIXTURES_DIR) + "/app/template.pptx";
    if (!std::filesystem::exists(pptx)) {
        GTEST_SKIP() << "no presentation fixture at " << pptx;
    }
    expectOpenFails(pptx, ErrorCode::NotADocument,
                    "template.pptx: the package holds no workbook (its main part "
                    "ppt/presentation.xml");
}

TEST(ExcelBadInput, EncryptedAndLegacyCompoundFiles) {
    // A compound file's signature, and a directory entry naming the encrypted package stream.
    std::string header("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.resize(512, '\0');
    const auto file =
        office::compound::create({{"EncryptionInfo", std::vector<std::uint8_t>(200, 1)},
                                  {"EncryptedPackage", std::vector<std::uint8_t>(5000, 2)}});
    const std::string encrypted(file.begin(), file.end());
    expectOpenFails(write("locked.xlsx", encrypted), ErrorCode::Encrypted,
                    "locked.xlsx: the workbook is protected by a password");
    std::string legacy = header;
    legacy.resize(2048, '\0');
    expectOpenFails(write("old.xls", legacy), ErrorCode::LegacyFormat,
                    "old.xls: this is a legacy binary workbook; save it as .xlsx");

    // A compound file that holds a workbook stream is a binary workbook, and is read.
    const std::string real = std::string(TABULON_REALWORLD_DIR) + "/xls/poi__44235.xls";
    if (std::filesystem::exists(real)) {
        EXPECT_EQ(excel_test::open(real).book->Worksheets()->Count(), 3);
    }
}

TEST(ExcelBadInput, AnEntryThatWouldExpandTooFar) {
    // The fixture with its first entry's sizes claiming 2 GiB: refused before inflating.
    std::ifstream in(excel_test::fixture("basic.xlsx"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const std::uint32_t huge = 0x7FFFFFFF;
    const auto central = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    std::memcpy(&bytes[central + 24], &huge, 4);
    std::memcpy(&bytes[bytes.find(std::string("PK\x03\x04", 4)) + 22], &huge, 4);
    expectOpenFails(write("bomb.xlsx", bytes), ErrorCode::TooLarge,
                    "bomb.xlsx: docProps/app.xml: would expand to 2147483647 bytes");
}

TEST(ExcelBadInput, BrokenSheetXmlNamesThePart) {
    expectOpenFails(excel_test::fixture("broken_sheet.xlsx"), ErrorCode::CorruptPart,
                    "broken_sheet.xlsx: xl/worksheets/sheet1.xml: start-end tags mismatch at "
                    "offset 466");
}

TEST(ExcelBadInput, BrokenCellsInsideWellFormedXml) {
    // Each case replaces the first worksheet of a sound workbook with the given XML.
    const std::string head =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<sheetData><row r=\"1\">";
    const std::string tail = "</row></sheetData></worksheet>";
    struct Case {
        const char* cells;
        const char* words;
    } cases[] = {
        {"<c r=\"A1\"><v>abc</v></c>", "cell A1 holds \"abc\", which is not a number"},
        {"<c r=\"A1\" t=\"s\"><v>999</v></c>", "cell A1 refers to shared string \"999\" of 6"},
        {"<c r=\"A2\"><v>1</v></c>", "cell reference \"A2\" in row 1 is not a cell of that row"},
        {"<c r=\"XFE1\"><v>1</v></c>",
         "cell reference \"XFE1\" in row 1 is not a cell of that row"},
        {"<c r=\"A1\" t=\"q\"><v>1</v></c>", "cell A1 has the unknown type \"q\""},
    };
    std::ifstream in(excel_test::fixture("tables.xlsx"), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cells);
        auto package = office::package::Package::openBytes(bytes, "case.xlsx", "workbook");
        package.write("xl/worksheets/sheet1.xml", head + c.cells + tail);
        EXPECT_OFFICE_ERROR(
            office::excel::openWorkbookFromBytes(package.saveBytes(), "case.xlsx", nullptr),
            ErrorCode::CorruptPart, std::string("case.xlsx: xl/worksheets/sheet1.xml: ") + c.words);
    }
}

}  // namespace
