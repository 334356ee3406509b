// A copy out of a binary workbook into an embedded-style .xlsx gives what the same copy out
// of the same workbook saved as .xlsx gives: values, displayed texts, number formats, borders,
// fonts, fills and merged areas. The .xls fixture is the .xlsx fixture saved by LibreOffice.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "excel_test_support.h"
#include "office/excel.h"
#include "office/package/package.h"
#include "support/validator.h"

namespace {

using namespace office::excel;
namespace fs = std::filesystem;

constexpr const char* kBlock = "A1:H16";

std::string xlsFixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/xls/" + name;
}

// Copies the block of source's first worksheet into a copy of tables.xlsx and saves it.
fs::path copyInto(const std::string& source, const std::string& name) {
    const auto target = excel_test::scratch(name);
    fs::copy_file(excel_test::fixture("tables.xlsx"), target, fs::copy_options::overwrite_existing);
    auto app = Application::Create();
    auto from = app->Workbooks()->Open(source);
    auto to = app->Workbooks()->Open(target.string());
    from->Worksheets()->Item(1)->Range(kBlock)->Copy(to->Worksheets()->Item(2)->Range("B3"));
    to->Save();
    return target;
}

// What the pasted cells show, one line a cell.
std::string pasted(const fs::path& path) {
    auto opened = excel_test::open(path.string());
    auto sheet = opened.sheet(2);
    std::ostringstream out;
    auto block = sheet->Range("B3")->Offset(0, 0);
    for (int row = 0; row < 16; ++row) {
        for (int column = 0; column < 8; ++column) {
            auto cell = block->Offset(row, column);
            out << cell->Address() << " " << cell->Value().toString() << " | " << cell->Text()
                << " |";
            for (int edge : {xlEdgeLeft, xlEdgeRight, xlEdgeTop, xlEdgeBottom}) {
                out << " " << cell->Borders(edge).LineStyle() << "/"
                    << cell->Borders(edge).Weight();
            }
            out << "\n";
        }
    }
    return out.str();
}

std::string part(const fs::path& path, const std::string& name) {
    return office::package::Package::openFile(path.string(), "workbook").read(name);
}

TEST(XlsCopy, ACopyFromXlsGivesWhatTheSameCopyFromXlsxGives) {
    const auto fromXlsx = copyInto(excel_test::fixture("basic.xlsx"), "copy-of-xlsx.xlsx");
    const auto fromXls = copyInto(xlsFixture("basic.xls"), "copy-of-xls.xlsx");
    EXPECT_EQ(pasted(fromXls), pasted(fromXlsx));

    const std::string styles = part(fromXls, "xl/styles.xml");
    EXPECT_NE(styles.find("Arial"), std::string::npos) << "the font did not travel";
    EXPECT_NE(styles.find("FFFFFF00"), std::string::npos) << "the fill did not travel";
    const std::string sheet = part(fromXls, "xl/worksheets/sheet2.xml");
    EXPECT_NE(sheet.find("E3:G4"), std::string::npos) << "the merged area did not travel";
    if (tabulon::testing::validatorPresent()) {
        const auto result =
            tabulon::testing::validateAgainst(fromXls.string(), excel_test::fixture("tables.xlsx"));
        EXPECT_EQ(result.status, 0) << result.output;
    }
}

}  // namespace
