// The window's side of linking and cancelling: the clicks and the menu reach the mapping
// (template/Mapping.h, whose own tests in tests/template cover every case of it), and the
// window shows what it did: the slide node's new name, the refusal's message box, the enabled
// buttons, the pop-up menu. On copies of the fixture files.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <string>

#include "app/frmMain.h"
#include "desktop.h"
#include "office/error.h"
#include "office/powerpoint.h"
#include "support/office_error.h"
#include "validate.h"

namespace tabulon {
namespace {

using testing::AppFixture;
using testing::Control;

class Mapping : public ::testing::Test {
protected:
    void SetUp() override {
        templatePath = folder.filePath("template.pptx").toStdString();
        ASSERT_TRUE(
            QFile::copy(QString::fromStdString(source), QString::fromStdString(templatePath)));
        desktop.WillChoose(AppFixture("first.xlsx"));
        click("CmdExcel");
        desktop.WillChoose(templatePath);
        click("cmdPowerpoint");
        ASSERT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();
        window.show();
    }

    void click(const char* button) { Control<QPushButton>(window, button)->click(); }
    QTreeWidget* tree() { return Control<QTreeWidget>(window, "tvwPpt"); }
    QTreeWidgetItem* slideNode(int k) { return tree()->topLevelItem(0)->child(k); }
    QTreeWidgetItem* shapeNode(int k, int m) { return slideNode(k)->child(m); }
    std::shared_ptr<office::ppt::Slide> slide(int k) {
        return window.SlideTable().ValueAt(k)->slide();
    }
    std::string tag(int k, const std::string& name) { return slide(k)->Tags()->Item(name); }

    void selectSheet(const char* name) {
        auto* list = Control<QTreeWidget>(window, "lvwSheet");
        list->setCurrentItem(list->findItems(name, Qt::MatchExactly).value(0));
    }

    // A real mouse click on the node, through the tree's viewport.
    void clickNode(QTreeWidgetItem* node, Qt::MouseButton button = Qt::LeftButton) {
        tree()->scrollToItem(node);
        pressAndRelease(tree()->visualItemRect(node).center(), button);
    }

    void pressAndRelease(QPoint at, Qt::MouseButton button) {
        QWidget* viewport = tree()->viewport();
        const QPointF global = viewport->mapToGlobal(QPointF(at));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, button, button,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, button, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        QApplication::sendEvent(viewport, &release);
    }

    void link(const char* sheet, int k, int m) {
        selectSheet(sheet);
        clickNode(shapeNode(k, m));
        click("cmdLink");
    }

    testing::Application application;
    testing::ScriptedDesktop desktop;
    QTemporaryDir folder;
    std::string source = AppFixture("template.pptx");  // copied to templatePath
    std::string templatePath;
    frmMain window;
};

TEST_F(Mapping, LinkedShowsTheSlidesNewNameAndCancelShowsItsIdName) {
    link("Sales", 0, 1);
    EXPECT_TRUE(desktop.Messages().empty());
    EXPECT_EQ(slideNode(0)->text(0), "Sales");
    EXPECT_EQ(shapeNode(0, 1)->text(0), "Chart");
    EXPECT_EQ(tag(0, "name"), "Right");

    clickNode(shapeNode(0, 1));
    window.mnuCMap()->trigger();
    const std::string expected = "slide" + std::to_string(slide(0)->SlideID());
    EXPECT_EQ(slideNode(0)->text(0).toStdString(), expected);
    EXPECT_EQ(slide(0)->Tags()->Count(), 0);
}

TEST_F(Mapping, NameThatASlideBearsIsRefusedInAMessageBox) {
    link("Sales", 0, 0);
    link("Sales", 0, 1);
    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(desktop.Messages()[0], "Sheet Table contain in ppt template");
    EXPECT_EQ(desktop.Captions()[0], "Tabulon");
    EXPECT_EQ(tag(0, "name"), "Left");
}

TEST_F(Mapping, NodeClicksEnableAndDisableLinkAndCancel) {
    auto* linkButton = Control<QPushButton>(window, "cmdLink");
    clickNode(slideNode(0));
    EXPECT_FALSE(linkButton->isEnabled());
    EXPECT_FALSE(window.mnuCMap()->isEnabled());
    clickNode(tree()->topLevelItem(0));
    EXPECT_FALSE(linkButton->isEnabled());
    clickNode(shapeNode(0, 0));
    EXPECT_TRUE(linkButton->isEnabled());
    EXPECT_TRUE(window.mnuCMap()->isEnabled());
    clickNode(tree()->topLevelItem(0));
    EXPECT_TRUE(linkButton->isEnabled());
}

TEST_F(Mapping, RightClickOverAnEmptyAreaShowsTheMenuAndKeepsTheSelection) {
    clickNode(slideNode(1));
    const QPoint empty(10, tree()->viewport()->height() - 5);
    ASSERT_EQ(tree()->itemAt(empty), nullptr);
    pressAndRelease(empty, Qt::RightButton);
    EXPECT_TRUE(window.mnupop()->isVisible());
    EXPECT_EQ(tree()->currentItem(), slideNode(1));
    window.mnupop()->hide();

    // Cancel Mapping without a shape node selected does nothing.
    const std::string before = slide(1)->Name();
    window.mnuCMap()->trigger();
    EXPECT_EQ(slide(1)->Name(), before);
    EXPECT_EQ(slideNode(1)->text(0).toStdString(), before);
}

TEST_F(Mapping, LinkWithoutAWorksheetDoesNothingAndTheRootIsNoShapeNode) {
    clickNode(shapeNode(0, 0));
    click("cmdLink");
    EXPECT_EQ(slide(0)->Tags()->Count(), 0);
    selectSheet("Sales");
    const QTreeWidgetItem& sheetItem = *Control<QTreeWidget>(window, "lvwSheet")->currentItem();
    EXPECT_OFFICE_ERROR(window.LinkSheetToSlide(sheetItem, *tree()->topLevelItem(0)),
                        office::ErrorCode::InvalidArgument, "is no shape node of a slide");
    EXPECT_EQ(slide(0)->Name(), "Slide 1");
    EXPECT_TRUE(desktop.Messages().empty());
}

TEST_F(Mapping, SaveWritesTheLinksIntoTheTemplateFile) {
    link("Costs", 2, 1);
    click("cmdSave");
    ASSERT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();

    auto reader = office::ppt::Application::Create();
    const auto slides = reader->Presentations()->Open(templatePath)->Slides();
    EXPECT_EQ(slides->Item(3)->Name(), "Costs");
    EXPECT_EQ(slides->Item(3)->Tags()->Item("Type"), "ExcelTable");
    reader->Quit();
    const auto problems = testing::Validate(templatePath, AppFixture("template.pptx"));
    if (problems) {
        EXPECT_EQ(*problems, "");
    }
}

// A PowerPoint 97-2003 template, here under a .pptx name, is linked and saved like any other.
class LegacyMapping : public Mapping {
protected:
    LegacyMapping() {
        source = std::string(TABULON_REALWORLD_DIR) + "/ppt/tika__testMSChart-govdocs-428996.ppt";
    }
    void SetUp() override {
        if (!QFile::exists(QString::fromStdString(source))) {
            GTEST_SKIP() << "the real-world corpus is absent: " << TABULON_REALWORLD_DIR;
        }
        Mapping::SetUp();
    }
};

TEST_F(LegacyMapping, ItsGraphChartIsLinkedSavedAndFoundAgain) {
    EXPECT_EQ(shapeNode(0, 0)->text(0), "Chart");
    link("Sales", 0, 0);
    QFile::setPermissions(QString::fromStdString(templatePath),
                          QFile::ReadOwner | QFile::WriteOwner);
    click("cmdSave");
    ASSERT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();

    auto reader = office::ppt::Application::Create();
    const auto slide = reader->Presentations()->Open(templatePath)->Slides()->Item(1);
    EXPECT_EQ(slide->Name(), "Sales");
    EXPECT_EQ(slide->Tags()->Item("Type"), "Chart");
    EXPECT_EQ(slide->Shapes()->Item(1)->Name(), slide->Tags()->Item("Name"));
    EXPECT_EQ(slide->Shapes()->Item(1)->OLEFormat()->ProgID(), "MSGraph.Chart.8");
    reader->Quit();
}

TEST_F(Mapping, AfterConvertLinkingAsksForTheTemplateAndSavingDoesNothing) {
    desktop.WillCancel();
    click("cmdConvert");
    ASSERT_EQ(window.PptApp(), nullptr);

    link("Sales", 0, 0);
    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_NE(desktop.Messages()[0].find("choose the template again"), std::string::npos)
        << desktop.Messages()[0];
    clickNode(shapeNode(0, 0));
    window.mnuCMap()->trigger();
    EXPECT_EQ(desktop.Messages().size(), 2u);

    click("cmdSave");
    EXPECT_EQ(desktop.Messages().size(), 2u);

    // Choosing the template again makes linking work again.
    desktop.WillChoose(templatePath);
    click("cmdPowerpoint");
    link("Sales", 0, 0);
    EXPECT_EQ(desktop.Messages().size(), 2u);
    EXPECT_EQ(slideNode(0)->text(0), "Sales");
}

}  // namespace
}  // namespace tabulon
