// Linking worksheets to slides, cancelling links, the enabling rule and saving the template, as
// plain calls over the slide table and the tree's keys, on copies of the fixture files. No
// window and no Qt application: the main window only reads its selection into these calls.

#include "template/Mapping.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "fixtures.h"
#include "office/error.h"
#include "support/office_error.h"
#include "support/validator.h"
#include "template/LoadTemplate.h"

namespace tabulon {
namespace {

namespace fs = std::filesystem;
using office::ErrorCode;
using testing::AppFixture;

class Mapping : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(TABULON_BINARY_DIR) / "template-tests" /
                 (std::string(info->test_suite_name()) + "." + info->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        templatePath = (folder / "template.pptx").string();
        fs::copy_file(source, templatePath);
        LoadTemplate(app, slides, templatePath);
    }

    void TearDown() override {
        if (app && app->IsRunning()) {
            app->Quit();
        }
    }

    BrowsedTemplate browsed() { return {app, templatePath, slides}; }

    // The nodes of the tree, as the window reads them: slide k and its shape m, 0-based.
    TreeNode slideNode(int k) {
        return {NodeKind::Slide, slides.KeyAt(k), 0, slides.ValueAt(k)->Name()};
    }
    TreeNode shapeNode(int k, int m) {
        const auto& shapes = *slides.ValueAt(k)->Objects();
        return {NodeKind::Shape, slides.KeyAt(k), shapes.KeyAt(m), shapes.ValueAt(m)->ShapeType()};
    }
    static TreeNode rootNode() { return {NodeKind::Root, 0, 0, "ppt模板"}; }

    LinkResult link(const std::string& sheet, int k, int m) {
        return LinkCommand(browsed(), sheet, shapeNode(k, m));
    }

    std::shared_ptr<office::ppt::Slide> slide(int k) { return slides.ValueAt(k)->slide(); }
    std::string tag(int k, const std::string& name) { return slide(k)->Tags()->Item(name); }

    void expectValid(const std::string& input) {
        if (const auto problems = testing::Validate(templatePath, input)) {
            EXPECT_EQ(*problems, "");
        }
    }

    std::string source = AppFixture("template.pptx");  // copied to templatePath
    fs::path folder;
    std::string templatePath;
    std::shared_ptr<office::ppt::Application> app;
    SlideCollection slides;
};

// The same over a template of native tables.
class TableMapping : public Mapping {
protected:
    TableMapping() { source = std::string(TABULON_FIXTURES_DIR) + "/pptx/tables.pptx"; }
};

TEST_F(TableMapping, ANativeTableIsClassedAsATableAndItsLinkIsSavedAsOne) {
    ASSERT_EQ(slides.ValueAt(0)->Objects()->Count(), 1);
    EXPECT_EQ(shapeNode(0, 0).text, "Table");
    EXPECT_EQ(shapeNode(1, 0).text, "Table");
    const LinkResult result = link("Sales", 0, 0);
    EXPECT_EQ(result.outcome, LinkOutcome::Linked);
    EXPECT_EQ(result.slideName, "Sales");
    EXPECT_EQ(tag(0, "name"), "Sales table");
    EXPECT_EQ(tag(0, "type"), "Table");
    ASSERT_TRUE(HasTemplateToSave(app));
    SaveTemplate(*app);

    auto reader = office::ppt::Application::Create();
    const auto saved = reader->Presentations()->Open(templatePath)->Slides();
    EXPECT_EQ(saved->Item(1)->Name(), "Sales");
    EXPECT_EQ(saved->Item(1)->Tags()->Item("Type"), "Table");
    reader->Quit();
    expectValid(source);
}

TEST_F(Mapping, LinkNamesTheSlideAndTagsTheShape) {
    slide(0)->Tags()->Add("Old", "carried by the template");
    const LinkResult result = link("Sales", 0, 1);

    EXPECT_EQ(result.outcome, LinkOutcome::Linked);
    EXPECT_EQ(result.slideName, "Sales");
    EXPECT_EQ(slide(0)->Name(), "Sales");
    EXPECT_EQ(slide(0)->Tags()->Count(), 2);
    EXPECT_EQ(tag(0, "name"), "Right");
    EXPECT_EQ(tag(0, "type"), "Chart");
    EXPECT_EQ(tag(0, "old"), "");
    EXPECT_EQ(shapeNode(0, 1).text, "Chart");
}

TEST_F(Mapping, RelinkingReplacesNameAndTagsAndFreesTheEarlierWorksheet) {
    link("Sales", 0, 0);
    link("Costs", 0, 1);
    EXPECT_EQ(slide(0)->Name(), "Costs");
    EXPECT_EQ(tag(0, "name"), "Right");

    EXPECT_EQ(link("Sales", 2, 1).outcome, LinkOutcome::Linked);
    EXPECT_EQ(slide(2)->Name(), "Sales");
    EXPECT_EQ(tag(2, "name"), "Table");
    EXPECT_EQ(tag(2, "type"), "ExcelTable");
}

TEST_F(Mapping, NameThatASlideBearsIsRefusedButOneDifferingInCaseIsNot) {
    link("Sales", 0, 0);
    EXPECT_TRUE(SlideBearsName(slides, "Sales"));
    const LinkResult refused = link("Sales", 0, 1);
    EXPECT_EQ(refused.outcome, LinkOutcome::NameTaken);
    EXPECT_EQ(std::string(kNameTaken), "Sheet Table contain in ppt template");
    EXPECT_EQ(tag(0, "name"), "Left");

    slides.ValueAt(1)->SetName("mixed");
    EXPECT_FALSE(SlideBearsName(slides, "MiXeD"));
    EXPECT_EQ(link("MiXeD", 2, 0).outcome, LinkOutcome::Linked);
    EXPECT_EQ(slide(2)->Name(), "MiXeD");
}

TEST_F(Mapping, ObjectOfAnotherProgramGetsANameTagAndNoType) {
    link("Costs", 2, 2);
    EXPECT_EQ(slide(2)->Tags()->Count(), 1);
    EXPECT_EQ(tag(2, "name"), "Notes");
    EXPECT_EQ(tag(2, "type"), "");
}

TEST_F(Mapping, CancelNamesTheSlideAfterItsIdAndDropsEveryTag) {
    link("Sales", 0, 0);
    slide(0)->Tags()->Add("Extra", "1");
    const auto cancelled = CancelCommand(browsed(), shapeNode(0, 0));

    const std::string expected = "slide" + std::to_string(slide(0)->SlideID());
    EXPECT_EQ(cancelled, expected);
    EXPECT_EQ(slide(0)->Name(), expected);
    EXPECT_EQ(slide(0)->Tags()->Count(), 0);

    // The worksheet is free again.
    EXPECT_EQ(link("Sales", 2, 0).outcome, LinkOutcome::Linked);
    EXPECT_EQ(slide(2)->Name(), "Sales");
}

TEST_F(Mapping, CancelOfANeverLinkedSlideRenamesItAllTheSame) {
    slide(1)->Tags()->Add("Kept", "no");
    EXPECT_EQ(CancelMapping(slides, slides.KeyAt(1)),
              "slide" + std::to_string(slide(1)->SlideID()));
    EXPECT_EQ(slide(1)->Tags()->Count(), 0);
}

TEST(MappingRule, NodesAreToldByTheirParentAndEnableOrDisableLinkAndCancel) {
    EXPECT_EQ(KindOfNode(false, ""), NodeKind::Root);
    EXPECT_EQ(KindOfNode(true, kRootKey), NodeKind::Slide);
    EXPECT_EQ(KindOfNode(true, ""), NodeKind::Shape);
    EXPECT_EQ(KindOfNode(true, "root"), NodeKind::Shape) << "the root's key is matched exactly";

    EXPECT_EQ(LinkEnabledAfterClick(NodeKind::Slide), false);
    EXPECT_EQ(LinkEnabledAfterClick(NodeKind::Shape), true);
    EXPECT_EQ(LinkEnabledAfterClick(NodeKind::Root), std::nullopt);
}

TEST_F(Mapping, CancelWithoutAShapeNodeSelectedDoesNothing) {
    const std::string before = slide(1)->Name();
    EXPECT_EQ(CancelCommand(browsed(), slideNode(1)), std::nullopt);
    EXPECT_EQ(CancelCommand(browsed(), rootNode()), std::nullopt);
    EXPECT_EQ(CancelCommand(browsed(), std::nullopt), std::nullopt);
    EXPECT_EQ(slide(1)->Name(), before);
}

TEST_F(Mapping, LinkWithoutAWorksheetOrShapeNodeDoesNothing) {
    EXPECT_EQ(LinkCommand(browsed(), std::nullopt, shapeNode(0, 0)).outcome,
              LinkOutcome::NothingToLink);
    EXPECT_EQ(slide(0)->Tags()->Count(), 0);
    EXPECT_EQ(LinkCommand(browsed(), "Sales", rootNode()).outcome, LinkOutcome::NothingToLink);
    EXPECT_EQ(LinkCommand(browsed(), "Sales", slideNode(0)).outcome, LinkOutcome::NothingToLink);
    EXPECT_EQ(LinkCommand(browsed(), "Sales", std::nullopt).outcome, LinkOutcome::NothingToLink);
    EXPECT_EQ(slide(0)->Name(), "Slide 1");
}

TEST_F(Mapping, LinkGivenTheRootOrASlideNodeFailsWithoutChangingTheSlide) {
    EXPECT_OFFICE_ERROR(LinkSheetToSlide(slides, "Sales", rootNode()), ErrorCode::InvalidArgument,
                        "the tree node \"ppt模板\" is no shape node");
    EXPECT_OFFICE_ERROR(LinkSheetToSlide(slides, "Sales", slideNode(0)), ErrorCode::InvalidArgument,
                        "the tree node \"Slide 1\" is no shape node");
    EXPECT_EQ(slide(0)->Name(), "Slide 1");
    EXPECT_EQ(slide(0)->Tags()->Count(), 0);
}

TEST_F(Mapping, SaveWritesTheLinksIntoTheTemplateFile) {
    link("Sales", 0, 1);
    link("Costs", 2, 1);
    ASSERT_TRUE(HasTemplateToSave(app));
    SaveTemplate(*app);

    auto reader = office::ppt::Application::Create();
    const auto saved = reader->Presentations()->Open(templatePath)->Slides();
    EXPECT_EQ(saved->Item(1)->Name(), "Sales");
    EXPECT_EQ(saved->Item(1)->Tags()->Item("Name"), "Right");
    EXPECT_EQ(saved->Item(3)->Name(), "Costs");
    EXPECT_EQ(saved->Item(3)->Tags()->Item("Type"), "ExcelTable");
    EXPECT_EQ(saved->Item(2)->Name(), "Slide 2");
    reader->Quit();
    expectValid(AppFixture("template.pptx"));
}

TEST_F(Mapping, LinksNotSavedAreAbsentFromTheTemplateFile) {
    link("Sales", 0, 1);
    auto reader = office::ppt::Application::Create();
    EXPECT_EQ(reader->Presentations()->Open(templatePath)->Slides()->Item(1)->Name(), "Slide 1");
    reader->Quit();
}

// Convert quits the browsing application and sets it to none; the slide table stays behind.
TEST_F(Mapping, AfterConvertLinkingAsksForTheTemplateAndSavingDoesNothing) {
    app->Quit();
    app = nullptr;

    EXPECT_OFFICE_ERROR(link("Sales", 0, 0), ErrorCode::ObjectClosed,
                        templatePath +
                            ": the template is no longer open (Convert closed it); "
                            "choose the template again");
    EXPECT_OFFICE_ERROR(CancelCommand(browsed(), shapeNode(0, 0)), ErrorCode::ObjectClosed,
                        "choose the template again");
    EXPECT_FALSE(HasTemplateToSave(app));

    // Choosing the template again makes linking work again.
    LoadTemplate(app, slides, templatePath);
    EXPECT_TRUE(HasTemplateToSave(app));
    EXPECT_EQ(link("Sales", 0, 0).outcome, LinkOutcome::Linked);
    EXPECT_EQ(slide(0)->Name(), "Sales");
}

// A quit application that the window still holds (the user ended it by hand) is no open
// template either.
TEST_F(Mapping, AQuitApplicationStillHeldIsNoOpenTemplate) {
    app->Quit();
    EXPECT_OFFICE_ERROR(RequireOpenTemplate(browsed()), ErrorCode::ObjectClosed, templatePath);
    EXPECT_FALSE(HasTemplateToSave(app));
}

}  // namespace
}  // namespace tabulon
