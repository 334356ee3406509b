// Objects inside group shapes (grouped_*.pptx, from make_grouped.py), and a Graph object that
// LibreOffice saved without its progId (converted from the real-world corpus here), filled.

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "office/powerpoint.h"
#include "support/validator.h"
#include "support/zip_entries.h"

namespace {

namespace fs = std::filesystem;
using engine_test::num;
using engine_test::txt;

// The groups' transforms (p:grpSpPr) of a slide, in order.
std::string groupTransforms(const fs::path& deck, int slide) {
    const auto entries = support::readZipEntries(deck.string());
    const std::string xml = entries.at("ppt/slides/slide" + std::to_string(slide) + ".xml");
    std::string found;
    for (auto at = xml.find("<p:grpSpPr>"); at != std::string::npos;
         at = xml.find("<p:grpSpPr>", at + 1))
        found += xml.substr(at, xml.find("</p:grpSpPr>", at) - at);
    return found;
}

struct GroupRun : ::testing::Test {
    MDL_PptReport::RunStatistics convert(const fs::path& deck, const std::string& workbook,
                                         const std::vector<engine_test::Link>& links) {
        engine_test::linkTemplate(deck, folder / "linked.pptx", links);
        MDL_PptReport::RunStatistics statistics;
        MDL_PptReport::ConvertReport(engine_test::fixture(workbook).string(),
                                     (folder / "linked.pptx").string(), output.string(),
                                     &statistics);
        EXPECT_EQ(tabulon::testing::Validate(output.string(), deck.string()).value_or(""), "");
        return statistics;
    }
    fs::path folder = engine_test::scratchFolder();
    fs::path output = folder / "out.pptx";
};

TEST_F(GroupRun, ObjectsInsideGroupsAreFoundByTheTagAndFilledWhereTheyLie) {
    const fs::path charts = fs::path(TABULON_FIXTURES_DIR) / "pptx/grouped_charts.pptx";
    // A chart in a group; a table object without progId, two groups deep.
    EXPECT_EQ(convert(charts, "blocks.xlsx",
                      {{1, "Sales", "Bar Chart"}, {6, "Table", "Cost Table", "ExcelTable"}})
                  .shapes,
              2);
    EXPECT_EQ(engine_test::readChart(output, 1, "Bar Chart", 3, 3).grid[1],
              (std::vector<office::Value>{txt("East"), num(50), num(20)}));
    EXPECT_EQ(engine_test::readEmbedded(output, 6, "Cost Table", 2, 2).grid[1][1], num(1250.5));
    EXPECT_EQ(groupTransforms(output, 6), groupTransforms(charts, 6));

    // "Group 7" occurs in the tag too, but a group holds no table: its member is taken.
    const fs::path tables = fs::path(TABULON_FIXTURES_DIR) / "pptx/grouped_tables.pptx";
    convert(tables, "tables.xlsx", {{1, "Grow", "Sales table of Group 7", "Table"}});
    auto app = office::ppt::Application::Create();
    auto group = app->Presentations()->Open(output.string())->Slides()->Item(1)->Shapes()->Item(1);
    EXPECT_EQ(group->GroupItems()->Item(1)->Table()->CellText(2, 1), "North");
    app->Quit();
    EXPECT_EQ(groupTransforms(output, 1), groupTransforms(tables, 1));
}

TEST_F(GroupRun, AGraphObjectThatLibreOfficeSavedWithoutProgIdIsFilled) {
    const fs::path ppt = fs::path(TABULON_REALWORLD_DIR) / "ppt/poi__42520_msgraph.ppt";
    if (!fs::exists(ppt) || tabulon::testing::runCommand("command -v soffice").status != 0) {
        GTEST_SKIP() << "needs LibreOffice (soffice) and the real-world corpus: " << ppt;
    }
    tabulon::testing::runCommand("soffice -env:UserInstallation=file://" + folder.string() +
                                 "/profile --headless --convert-to pptx --outdir '" +
                                 folder.string() + "' '" + ppt.string() + "'");
    const fs::path deck = folder / "poi__42520_msgraph.pptx", named = folder / "named.pptx";
    auto app = office::ppt::Application::Create();
    auto presentation = app->Presentations()->Open(deck.string());
    auto shapes =
        presentation->Slides()->Item(16)->Shapes();  // LibreOffice wrote no progId and no names
    std::vector<std::string> progIds;
    for (int i = 1; i <= shapes->Count(); ++i) {
        try {
            progIds.push_back(shapes->Item(i)->OLEFormat()->ProgID());
            shapes->Item(i)->SetName(progIds.back() == "MSGraph.Chart.8" ? "Graph" : "Other");
        } catch (const office::Error&) {
        }
    }
    EXPECT_EQ(progIds,
              (std::vector<std::string>{"MSGraph.Chart.8", "Equation.3"}));  // class id, CompObj
    presentation->SaveAs(named.string());
    app->Quit();
    convert(named, "blocks.xlsx", {{16, "Sales", "Graph"}});
    EXPECT_EQ(engine_test::readChart(output, 16, "Graph", 3, 3).grid[2],
              (std::vector<office::Value>{txt("South"), num(30), num(40)}));
}

// LibreOffice saves grouped_charts.pptx as .ppt: the bar chart, an OLE object of its own now,
// stays in its group, which an independent reader (ppt_binary_listing.py, olefile) lists too.
TEST_F(GroupRun, AnObjectInAGroupOfAPptIsListedLinkedAndFoundByTheTag) {
    const fs::path deck = folder / "grouped_charts.ppt";
    tabulon::testing::runCommand("soffice -env:UserInstallation=file://" + folder.string() +
                                 "/profile --headless --convert-to ppt --outdir '" +
                                 folder.string() +
                                 "' " TABULON_FIXTURES_DIR "/pptx/grouped_charts.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "needs LibreOffice Impress (soffice) to save the deck as .ppt";
    }
    auto app = office::ppt::Application::Create();
    auto slide = app->Presentations()->Open(deck.string())->Slides()->Item(1);
    auto group = slide->Shapes()->Item(1);
    auto member = group->GroupItems()->Item(1);
    const int id = member->Id();
    EXPECT_NE(tabulon::testing::runCommand("/usr/bin/python3 " TABULON_SOURCE_DIR
                                           "/tests/office/ppt_binary_listing.py '" +
                                           deck.string() + "'")
                  .output.find("shape " + std::to_string(group->Id()) + " -\nmember " +
                               std::to_string(id) + " - -\n"),
              std::string::npos);
    slide->SetName("Sales");
    slide->Tags()->Add("Name", member->Name());
    app->ActivePresentation()->Save();
    app->Quit();
    auto again = office::ppt::Application::Create();
    slide = again->Presentations()->Open(deck.string())->Slides()->Item(1);
    EXPECT_EQ(MDL_PptReport::GetMappedShape(slide)->Id(), id);
    EXPECT_EQ(slide->Name(), "Sales");
    again->Quit();
}

}  // namespace
