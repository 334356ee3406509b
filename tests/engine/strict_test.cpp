// ISO Strict documents, made at test time from the fixture template and workbook by the
// published namespace mapping (tests/fixtures/strict/flavour.py, which knows nothing of our
// code), linked, filled, and read back by that script and the validator.

#include <gtest/gtest.h>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "support/validator.h"

namespace {

// What flavour.py prints for its arguments (paths are quoted by the caller).
std::string flavour(const std::string& arguments) {
    const auto run = tabulon::testing::runCommand(
        "/usr/bin/python3 " TABULON_FIXTURES_DIR "/strict/flavour.py " + arguments);
    EXPECT_EQ(run.status, 0) << arguments << "\n" << run.output;
    return run.output;
}

TEST(StrictDocuments, AStrictDeckIsFilledFromAStrictWorkbookAndStaysStrict) {
    const std::string at = engine_test::scratchFolder().string() + "/",
                      fixtures = engine_test::fixture("").string();
    flavour("strict '" + fixtures + "charts.pptx' '" + at + "strict.pptx'");
    flavour("strict '" + fixtures + "blocks.xlsx' '" + at + "strict.xlsx'");
    engine_test::linkTemplate(
        at + "strict.pptx", at + "linked.pptx",
        {{1, "Sales", "Bar Chart"}, {6, "Table", "Cost Table", "ExcelTable"}});
    MDL_PptReport::ConvertReport(at + "strict.xlsx", at + "linked.pptx", at + "out.pptx");

    // The tags, the caches, the workbooks' new parts and the preview picture came in Strict.
    EXPECT_EQ(flavour("check '" + at + "linked.pptx'") + flavour("check '" + at + "out.pptx'"), "");
    EXPECT_EQ(tabulon::testing::Validate(at + "out.pptx", at + "strict.pptx").value_or(""), "");
    flavour("transitional '" + at + "out.pptx' '" + at + "back.pptx'");  // for the schemas
    EXPECT_EQ(tabulon::testing::Validate(at + "back.pptx", fixtures + "charts.pptx").value_or(""),
              "");
    // Block 2 (A9:B10) over block 1 (A3:C5), series by series; the table object's numbers.
    EXPECT_EQ(flavour("values '" + at + "out.pptx' ppt/charts/chart1.xml"),
              "50\n30\n3\n4\n20\n40\n7\n8\n9\n10\n11\n12\n");
    EXPECT_EQ(flavour("values '" + at + "out.pptx' " +
                      "'ppt/embeddings/Microsoft_Excel_Worksheet7.xlsx!xl/worksheets/sheet1.xml'"),
              "B2=1250.5\nC2=0.625\nB3=750.25\nC3=0.375\n");

    // The example's template, linked already: its Graph object becomes a native chart with a
    // workbook of its own, both Strict too.
    const std::string examples = TABULON_SOURCE_DIR "/examples/";
    flavour("strict '" + examples + "report-template.pptx' '" + at + "report.pptx'");
    flavour("strict '" + examples + "sales-report.xlsx' '" + at + "sales.xlsx'");
    MDL_PptReport::ConvertReport(at + "sales.xlsx", at + "report.pptx", at + "monthly.pptx");
    EXPECT_EQ(flavour("check '" + at + "monthly.pptx'"), "");
    EXPECT_EQ(tabulon::testing::Validate(at + "monthly.pptx", at + "report.pptx").value_or(""), "");
}

}  // namespace
