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

namespace {

using office::ErrorCode;

office::Error openFails(const std::string& path) {
    auto app = office::excel::Application::Create();
    try {
        app->Workbooks()->Open(path);
    } catch (const office::Error& e) {
        EXPECT_EQ(app->Workbooks()->Count(), 0) << "a failed open left a workbook behind";
        return e;
    }
    ADD_FAILURE() << path << " opened";
    return office::Error(ErrorCode::InvalidArgument, "");
}

std::string write(const std::string& name, const std::string& bytes) {
    const auto path = excel_test::scratch(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

void expectError(const office::Error& e, ErrorCode code, const std::string& file,
                 const std::string& words) {
    EXPECT_EQ(e.code(), code) << e.what();
    EXPECT_NE(e.text().find(file), std::string::npos) << e.text();
    EXPECT_NE(e.text().find(words), std::string::npos) << e.text();
}

TEST(ExcelBadInput, MissingFileAndFolder) {
    expectError(openFails(excel_test::scratch("nowhere.xlsx").string()), ErrorCode::FileNotFound,
                "nowhere.xlsx", "no such file");
    const auto folder = excel_test::scratch("folder.xlsx");
    std::filesystem::create_directories(folder);
    expectError(openFails(folder.string()), ErrorCode::FileAccess, "folder.xlsx", "folder");
}

TEST(ExcelBadInput, EmptyNotAZipAndNoWorkbook) {
    expectError(openFails(write("empty.xlsx", "")), ErrorCode::NotADocument, "empty.xlsx", "empty");
    expectError(openFails(write("text.xlsx", "just some text, not a package")),
                ErrorCode::NotADocument, "text.xlsx", "not a zip");
    expectError(openFails(excel_test::fixture("no_workbook.xlsx")), ErrorCode::NotADocument,
                "no_workbook.xlsx", "no workbook");
}

TEST(ExcelBadInput, APresentationIsNoWorkbook) {
    const std::string pptx = std::string(TABULON_FIXTURES_DIR) + "/app/template.pptx";
    if (!std::filesystem::exists(pptx)) {
        GTEST_SKIP() << "no presentation fixture at " << pptx;
    }
    expectError(openFails(pptx), ErrorCode::NotADocument, "template.pptx", "no workbook");
}

TEST(ExcelBadInput, EncryptedAndLegacyCompoundFiles) {
    // A compound file's signature, and a directory entry naming the encrypted package stream.
    std::string header("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.resize(512, '\0');
    const auto file =
        office::compound::create({{"EncryptionInfo", std::vector<std::uint8_t>(200, 1)},
                                  {"EncryptedPackage", std::vector<std::uint8_t>(5000, 2)}});
    const std::string encrypted(file.begin(), file.end());
    expectError(openFails(write("locked.xlsx", encrypted)), ErrorCode::Encrypted, "locked.xlsx",
                "password");
    std::string legacy = header;
    legacy.resize(2048, '\0');
    expectError(openFails(write("old.xls", legacy)), ErrorCode::LegacyFormat, "old.xls",
                "legacy binary workbook");
    EXPECT_NE(openFails(write("old.xls", legacy)).text().find(".xlsx"), std::string::npos);

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
    expectError(openFails(write("bomb.xlsx", bytes)), ErrorCode::TooLarge, "bomb.xlsx", "expand");
}

TEST(ExcelBadInput, BrokenSheetXmlNamesThePart) {
    const auto e = openFails(excel_test::fixture("broken_sheet.xlsx"));
    expectError(e, ErrorCode::CorruptPart, "broken_sheet.xlsx", "xl/worksheets/sheet1.xml");
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
        {"<c r=\"A1\" t=\"s\"><v>999</v></c>", "shared string"},
        {"<c r=\"A2\"><v>1</v></c>", "not a cell of that row"},
        {"<c r=\"XFE1\"><v>1</v></c>", "not a cell of that row"},
        {"<c r=\"A1\" t=\"q\"><v>1</v></c>", "unknown type"},
    };
    std::ifstream in(excel_test::fixture("tables.xlsx"), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    for (const auto& c : cases) {
        auto package = office::package::Package::openBytes(bytes, "case.xlsx", "workbook");
        package.write("xl/worksheets/sheet1.xml", head + c.cells + tail);
        try {
            office::excel::openWorkbookFromBytes(package.saveBytes(), "case.xlsx", nullptr);
            ADD_FAILURE() << c.cells << " was accepted";
        } catch (const office::Error& e) {
            expectError(e, ErrorCode::CorruptPart, "case.xlsx: xl/worksheets/sheet1.xml", c.words);
        }
    }
}

}  // namespace
