// A template whose embedded table is an Excel 97-2003 object (Excel.Sheet.8): a conversion run
// fills it in its own format, as it fills an .xlsx object, and the deck stays valid.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "support/excel97_object.h"

namespace {

namespace fs = std::filesystem;
using engine_test::num;
using engine_test::txt;
using office::Value;

class ConvertExcel97 : public engine_test::EngineRun {};

TEST_F(ConvertExcel97, FillsTheObjectInItsOwnFormat) {
    // The fixture template's "Cost Table" (slide 6) as an object of the binary format, holding
    // the same workbook as LibreOffice saves it.
    const fs::path deck = folder_ / "excel97.pptx";
    auto package = office::package::Package::openFile(engine_test::fixture("charts.pptx").string(),
                                                      "presentation");
    tabulon::testing::makeExcel97Object(
        package, "ppt/slides/slide6.xml", "rId3",
        tabulon::testing::excel97Storage(
            tabulon::testing::workbookStreamOf(engine_test::fixture("cost_table.xls").string())));
    package.saveFile(deck.string());
    engine_test::linkTemplate(deck, template_, {{6, "Table", "Cost Table", "ExcelTable"}});

    MDL_PptReport::RunStatistics statistics;
    MDL_PptReport::ConvertReport(engine_test::fixture("blocks.xlsx").string(), template_.string(),
                                 output_.string(), &statistics);
    EXPECT_EQ(statistics.shapes, 1);
    const auto content = engine_test::readEmbedded(output_, 6, "Cost Table", 5, 4);
    EXPECT_EQ(content.grid[0],
              (std::vector<Value>{txt("Item"), txt("Cost"), txt("Share"), txt("old 1D")}));
    EXPECT_EQ(content.grid[1],
              (std::vector<Value>{txt("Rent"), num(1250.5), num(0.625), txt("old 2D")}));
    EXPECT_EQ(content.grid[4][3], txt("old 5D"));
    EXPECT_EQ(content.formats[1][1], "#,##0.00");
    EXPECT_EQ(content.formats[1][2], "0.0%");
    EXPECT_EQ(content.sheetNames, (std::vector<std::string>{"Data", "Notes"}));
    EXPECT_EQ(content.secondSheetA1, "untouched");
    const auto output = office::package::Package::openFile(output_.string(), "presentation");
    const std::string part = output.read("ppt/embeddings/oleObject1.bin");
    EXPECT_TRUE(
        office::compound::isCompoundFile(std::vector<std::uint8_t>(part.begin(), part.end())));
    if (const auto printed = engine_test::validate(output_, template_)) {
        EXPECT_EQ(*printed, "") << "the validator found faults in the output";
    }
}

}  // namespace
