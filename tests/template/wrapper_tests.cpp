#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "fixtures.h"
#include "office/error.h"
#include "support/office_error.h"
#include "template/cls_PptSlide.h"
#include "template/cls_pptShape.h"

namespace tabulon {
namespace {

using testing::OpenTemplate;

TEST(GetShpType, ClassifiesByProgIdIgnoringCaseGraphBeforeExcel) {
    OpenTemplate deck("progids.pptx");
    struct Case {
        const char* shape;
        const char* expected;
    };
    const Case cases[] = {
        {"Upper graph", "Chart"},                // MSGRAPH.CHART.8
        {"Excel chart", "ExcelTable"},           // Excel.Chart.8: no "graph" in it
        {"Both words", "Chart"},                 // Excel.GraphSheet.1
        {"Lower other", "package.mixedCase.2"},  // verbatim, in its own letter case
        {"Heading", "other"},                    // a text box holds no object
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        const auto shape = deck.ShapeNamed(1, c.shape);
        ASSERT_NE(shape, nullptr);
        EXPECT_EQ(cls_pptShape::GetShpType(shape), c.expected);
    }
}

TEST(GetShpType, NativeChartsSpreadsheetsOtherObjectsAndPlainShapes) {
    OpenTemplate deck("template.pptx");
    EXPECT_EQ(cls_pptShape::GetShpType(deck.ShapeNamed(1, "Left")), "Chart");
    EXPECT_EQ(cls_pptShape::GetShpType(deck.ShapeNamed(3, "Table")), "ExcelTable");
    EXPECT_EQ(cls_pptShape::GetShpType(deck.ShapeNamed(3, "Notes")), "Word.Document.12");
    EXPECT_EQ(cls_pptShape::GetShpType(deck.ShapeNamed(2, "Picture")), "other");
    EXPECT_EQ(cls_pptShape::GetShpType(nullptr), "other");
}

TEST(GetShpType, NativeTablesAreTablesAndTheOtherKindsKeepTheirAnswers) {
    auto app = office::ppt::Application::Create();
    const auto slides = app->Presentations()
                            ->Open(std::string(TABULON_FIXTURES_DIR) + "/pptx/mixed.pptx")
                            ->Slides();
    const char* expected[] = {"other", "Table", "other", "other"};  // text, table, picture, box
    const auto shapes = slides->Item(2)->Shapes();
    ASSERT_EQ(shapes->Count(), 4);
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(cls_pptShape::GetShpType(shapes->Item(i)), expected[i - 1]) << "shape " << i;
    }
    EXPECT_EQ(cls_pptShape::GetShpType(slides->Item(1)->Shapes()->Item(2)), "Chart");
    app->Quit();
}

TEST(GetShpType, MsGraphObjectOfARealPresentationIsAChart) {
    const std::string path =
        std::string(TABULON_REALWORLD_DIR) + "/pptx-ole/tika__testMSChart-govdocs-428996.pptx";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "the real-world corpus is absent: " << path;
    }
    auto app = office::ppt::Application::Create();
    const auto shapes = app->Presentations()->Open(path)->Slides()->Item(1)->Shapes();
    int charts = 0;
    for (int i = 1; i <= shapes->Count(); ++i) {
        charts += cls_pptShape::GetShpType(shapes->Item(i)) == "Chart" ? 1 : 0;
    }
    EXPECT_EQ(charts, 1);
    app->Quit();
}

TEST(cls_pptShape, ReadsTheShapeLiveAndFollowsTheLastAddShape) {
    OpenTemplate deck("template.pptx");
    cls_pptShape wrapper;
    EXPECT_EQ(wrapper.ShapeType(), "other");
    EXPECT_OFFICE_ERROR(wrapper.Name(), office::ErrorCode::ObjectRequired,
                        "object variable not set: the shape wrapper holds no shape");

    wrapper.AddShape(deck.ShapeNamed(3, "Notes"));
    wrapper.AddShape(deck.ShapeNamed(3, "Table"));
    EXPECT_EQ(wrapper.Name(), "Table");
    EXPECT_EQ(wrapper.ShapeType(), "ExcelTable");

    wrapper.SetName("Renamed");
    EXPECT_NE(deck.ShapeNamed(3, "Renamed"), nullptr);

    // Nothing is cached: once the presentation is gone, the classification is "other" and the
    // name fails as the host fails.
    deck.presentation->Close();
    EXPECT_EQ(wrapper.ShapeType(), "other");
    EXPECT_OFFICE_ERROR(wrapper.Name(), office::ErrorCode::ObjectClosed,
                        "template.pptx: object closed: the document was closed");
}

TEST(cls_PptSlide, NameIsTheSlidesOwnInBothDirections) {
    OpenTemplate deck("template.pptx");
    cls_PptSlide wrapper;
    ASSERT_NE(wrapper.Objects(), nullptr);
    EXPECT_EQ(wrapper.Objects()->Count(), 0);
    EXPECT_EQ(wrapper.Objects(), wrapper.Objects());
    EXPECT_OFFICE_ERROR(wrapper.Name(), office::ErrorCode::ObjectRequired,
                        "object variable not set: the slide wrapper holds no slide");

    const auto slide = deck.presentation->Slides()->Item(2);
    wrapper.SetSlide(slide);
    EXPECT_EQ(wrapper.slide(), slide);
    slide->SetName("Renamed elsewhere");
    EXPECT_EQ(wrapper.Name(), "Renamed elsewhere");
    wrapper.SetName("Sales");
    EXPECT_EQ(slide->Name(), "Sales");
}

TEST(cls_PptSlide, DestroyingTheWrapperEmptiesItsObjectsEvenWhenShared) {
    std::weak_ptr<cls_pptShape> watch;
    std::shared_ptr<ShapeCollection> kept;
    {
        cls_PptSlide wrapper;
        auto shape = std::make_shared<cls_pptShape>();
        watch = shape;
        wrapper.Objects()->Add(3, std::move(shape));
        kept = wrapper.Objects();
    }
    EXPECT_EQ(kept->Count(), 0);
    EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace tabulon
