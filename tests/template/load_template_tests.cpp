#include "template/LoadTemplate.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fixtures.h"
#include "office/error.h"
#include "support/office_error.h"

namespace tabulon {
namespace {

using testing::AppFixture;

struct Browser {
    std::shared_ptr<office::ppt::Application> app;
    SlideCollection table;
    ~Browser() {
        if (app && app->IsRunning()) {
            app->Quit();
        }
    }
};

std::vector<int> keysOf(const auto& collection) {
    std::vector<int> keys;
    for (int i = 0; i < collection.Count(); ++i) {
        keys.push_back(collection.KeyAt(i));
    }
    return keys;
}

TEST(LoadTemplate, WrapsEverySlideInOrderAndOnlyTheirEmbeddedObjects) {
    Browser browser;
    LoadTemplate(browser.app, browser.table, AppFixture("template.pptx"));

    ASSERT_NE(browser.app, nullptr);
    EXPECT_NE(browser.app->Visible(), office::ppt::msoFalse);
    const auto slides = browser.app->ActivePresentation()->Slides();
    ASSERT_EQ(browser.table.Count(), 3);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(browser.table.KeyAt(i - 1), slides->Item(i)->SlideID());
        EXPECT_EQ(browser.table.ValueAt(i - 1)->slide()->SlideIndex(), i);
    }

    // Slide 1: two charts beside a heading; slide 2: a heading and a picture; slide 3: a chart,
    // a workbook object and a document object, in stacking order.
    const auto& charts = *browser.table.ValueAt(0)->Objects();
    const auto& objects = *browser.table.ValueAt(2)->Objects();
    EXPECT_EQ(charts.Count(), 2);
    EXPECT_EQ(browser.table.ValueAt(1)->Objects()->Count(), 0);
    ASSERT_EQ(objects.Count(), 3);
    EXPECT_EQ(objects.KeyAt(1), 10);
    EXPECT_EQ(objects.KeyAt(2), 11);
    EXPECT_EQ(objects.ValueAt(0)->ShapeType(), "Chart");
    EXPECT_EQ(objects.ValueAt(1)->ShapeType(), "ExcelTable");
    EXPECT_EQ(objects.ValueAt(2)->ShapeType(), "Word.Document.12");
    const auto shapes = slides->Item(1)->Shapes();
    std::vector<int> chartIds;
    for (int j = 1; j <= shapes->Count(); ++j) {
        if (cls_pptShape::GetShpType(shapes->Item(j)) == "Chart") {
            chartIds.push_back(shapes->Item(j)->Id());
        }
    }
    EXPECT_EQ(keysOf(charts), chartIds);
}

TEST(LoadTemplate, ListsObjectsInsideGroupsUnderTheirSlideNamingTheInnermostGroup) {
    Browser browser;
    LoadTemplate(browser.app, browser.table,
                 std::string(TABULON_FIXTURES_DIR) + "/pptx/grouped_charts.pptx");
    // "Cost Table" lies in "Inner Group", itself in "Outer Group".
    const auto chart = browser.table.ValueAt(0)->Objects()->ValueAt(0);
    const auto object = browser.table.ValueAt(5)->Objects()->ValueAt(0);
    EXPECT_EQ(chart->Name() + chart->ShapeType() + chart->GroupName(), "Bar ChartChartChart Group");
    EXPECT_EQ(object->Name() + object->ShapeType() + object->GroupName(),
              "Cost TableExcelTableInner Group");
    EXPECT_EQ(browser.table.ValueAt(4)->Objects()->ValueAt(0)->GroupName(), "");
}

TEST(LoadTemplate, FailingOpenLeavesTheTableAsItWasButKeepsTheNewApplication) {
    Browser browser;
    EXPECT_OFFICE_ERROR(LoadTemplate(browser.app, browser.table, AppFixture("missing.pptx")),
                        office::ErrorCode::FileNotFound, "missing.pptx: no such file");
    ASSERT_NE(browser.app, nullptr);
    EXPECT_NE(browser.app->Visible(), office::ppt::msoFalse);

    LoadTemplate(browser.app, browser.table, AppFixture("template.pptx"));
    EXPECT_OFFICE_ERROR(LoadTemplate(browser.app, browser.table, AppFixture("first.xlsx")),
                        office::ErrorCode::NotADocument,
                        "first.xlsx: xl/workbook.xml: the package holds no presentation");
    EXPECT_EQ(browser.table.Count(), 3);
}

// Native tables are objects of their slide, classified "Table", beside the charts of the same
// slide; the text box, picture and rectangle stay out.
TEST(LoadTemplate, ListsNativeTablesAsTables) {
    Browser browser;
    LoadTemplate(browser.app, browser.table,
                 std::string(TABULON_FIXTURES_DIR) + "/pptx/mixed.pptx");
    ASSERT_EQ(browser.table.Count(), 3);
    const auto& charts = *browser.table.ValueAt(0)->Objects();
    ASSERT_EQ(charts.Count(), 2);
    EXPECT_EQ(charts.ValueAt(0)->ShapeType(), "Chart");
    const auto& plain = *browser.table.ValueAt(1)->Objects();
    ASSERT_EQ(plain.Count(), 1);
    EXPECT_EQ(plain.ValueAt(0)->Name(), "Figures");
    EXPECT_EQ(plain.ValueAt(0)->ShapeType(), "Table");
    EXPECT_EQ(plain.KeyAt(0),
              browser.app->ActivePresentation()->Slides()->Item(2)->Shapes()->Item(2)->Id());
}

}  // namespace
}  // namespace tabulon
