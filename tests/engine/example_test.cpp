// The bundled example, as scripts/example converts it: every linked object of the template
// takes its sheet's table, and the template itself stays as it is.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"

namespace {

namespace fs = std::filesystem;
using engine_test::num;
using engine_test::txt;
using office::Value;

TEST(Example, ConvertsIntoChartsAndTheCostTable) {
    const fs::path examples = fs::path(TABULON_SOURCE_DIR) / "examples";
    const fs::path templ = examples / "report-template.pptx";
    const fs::path output = engine_test::scratchFolder() / "monthly-report.pptx";
    const std::string before = engine_test::readBytes(templ);

    MDL_PptReport::RunStatistics statistics;
    MDL_PptReport::ConvertReport((examples / "sales-report.xlsx").string(), templ.string(),
                                 output.string(), &statistics);
    EXPECT_EQ(statistics.slides, 6);
    EXPECT_EQ(statistics.blocks, 7);
    EXPECT_EQ(engine_test::readBytes(templ), before);

    const auto revenue = engine_test::readChart(output, 2, "Revenue Chart", 7, 5);
    EXPECT_EQ(revenue.title, "Revenue by region, November 2026");
    EXPECT_EQ(revenue.grid[0][1], txt("North"));
    EXPECT_EQ(revenue.grid[1][0], txt("Jun"));
    EXPECT_EQ(revenue.grid[1][1], num(41250));
    EXPECT_EQ(revenue.grid[6][0], txt("Nov"));

    const auto trend = engine_test::readChart(output, 4, "Trend Chart", 13, 2);
    EXPECT_FALSE(trend.hasTitle);
    EXPECT_EQ(trend.grid[0][1], txt("Orders 2026"));
    EXPECT_EQ(trend.grid[12][1], num(196 + 9 * 11));

    // The Graph chart object became a native chart under its name, its series in rows.
    const auto regions = engine_test::readChart(output, 7, "Regions Graph", 5, 5);
    EXPECT_EQ(regions.title, "Orders by region, 2026");
    EXPECT_EQ(regions.grid[0][1], txt("Q1"));
    EXPECT_EQ(regions.grid[4][0], txt("West"));
    EXPECT_EQ(regions.grid[4][4], num(88 + 18 + 9));
    const auto costs = engine_test::readEmbedded(output, 5, "Cost Table", 6, 4);
    EXPECT_EQ(costs.grid[0][0], txt("Cost centre"));
    EXPECT_EQ(costs.grid[3][0], Value());
    EXPECT_EQ(costs.grid[5][3], num(-4224.15));
    EXPECT_EQ(costs.formats[2][2], "#,##0.00");

    const auto printed = engine_test::validate(output, templ);
    if (printed) {
        EXPECT_EQ(*printed, "");
    }
}

}  // namespace
