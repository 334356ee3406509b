// Runs on templates whose charts, table objects and native tables lie inside group shapes, as a
// user who groups them with a caption leaves them: grouped_charts.pptx and grouped_tables.pptx,
// made from the pptxgenjs fixtures by tests/fixtures/pptx/make_grouped.py.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "office/powerpoint.h"
#include "support/validator.h"
#include "support/zip_entries.h"

namespace {

namespace fs = std::filesystem;
using engine_test::Link;
using engine_test::num;
using engine_test::txt;
using office::Value;

std::string grouped(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/pptx/" + name;
}

// Every p:grpSpPr of the slide part, in order: where the groups place their members.
std::vector<std::string> groupTransforms(const fs::path& deck, const std::string& part) {
    const std::string xml = support::readZipEntries(deck.string()).at(part);
    std::vector<std::string> found;
    for (auto at = xml.find("<p:grpSpPr>"); at != std::string::npos;
         at = xml.find("<p:grpSpPr>", at + 1)) {
        found.push_back(xml.substr(at, xml.find("</p:grpSpPr>", at) - at));
    }
    return found;
}

class GroupRun : public ::testing::Test {
protected:
    MDL_PptReport::RunStatistics convert(const std::string& deck, const std::string& workbook,
                                         const std::vector<Link>& links) {
        source = grouped(deck);
        engine_test::linkTemplate(source, linked, links);
        MDL_PptReport::RunStatistics statistics;
        MDL_PptReport::ConvertReport(engine_test::fixture(workbook).string(), linked.string(),
                                     output.string(), &statistics);
        if (auto problems = tabulon::testing::Validate(output.string(), source)) {
            EXPECT_EQ(*problems, "");
        }
        return statistics;
    }

    fs::path folder = engine_test::scratchFolder();
    fs::path linked = folder / "linked.pptx";
    fs::path output = folder / "out.pptx";
    std::string source;
};

TEST_F(GroupRun, AGroupedChartAndATableObjectTwoGroupsDeepAreFilledWhereTheyLie) {
    const auto statistics =
        convert("grouped_charts.pptx", "blocks.xlsx",
                {{1, "Sales", "Bar Chart"}, {6, "Table", "Cost Table", "ExcelTable"}});
    EXPECT_EQ(statistics.shapes, 2);
    const auto chart = engine_test::readChart(output, 1, "Bar Chart", 3, 3);
    EXPECT_EQ(chart.grid[1], (std::vector<Value>{txt("East"), num(50), num(20)}));
    const auto table = engine_test::readEmbedded(output, 6, "Cost Table", 2, 2);
    EXPECT_EQ(table.grid[1], (std::vector<Value>{txt("Rent"), num(1250.5)}));
    for (const std::string part : {"ppt/slides/slide1.xml", "ppt/slides/slide6.xml"}) {
        EXPECT_EQ(groupTransforms(output, part), groupTransforms(source, part)) << part;
    }
}

TEST_F(GroupRun, APartialTagFindsTheTableInsideTheGroupThatItAlsoNames) {
    // "Group 7" occurs in the tag too, but a group holds no table: the member is taken.
    const auto statistics = convert("grouped_tables.pptx", "tables.xlsx",
                                    {{1, "Grow", "Sales table of Group 7", "Table"}});
    const auto& warnings = statistics.warnings;
    EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [](const auto& warning) {
        return warning.text.find("; filled \"Sales table\"") != std::string::npos;
    }));
    auto app = office::ppt::Application::Create();
    auto slide = app->Presentations()->Open(output.string())->Slides()->Item(1);
    auto group = slide->Shapes()->Item(1);
    ASSERT_TRUE(group->IsGroup());
    auto table = group->GroupItems()->Item(1)->Table();
    EXPECT_EQ(table->CellText(2, 1), "North");
    EXPECT_EQ(table->CellText(1, 3), "Revenue");
    app->Quit();
    EXPECT_EQ(groupTransforms(output, "ppt/slides/slide1.xml"),
              groupTransforms(source, "ppt/slides/slide1.xml"));
}

}  // namespace
