// Choosing the template: the dialog, the path, the presentation application, the slide table and
// the tree.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "desktop.h"

namespace tabulon {
namespace {

using testing::AppFixture;
using testing::Control;

class TemplateTree : public ::testing::Test {
protected:
    void clickTemplate() { Control<QPushButton>(window, "cmdPowerpoint")->click(); }
    QTreeWidget* tree() { return Control<QTreeWidget>(window, "tvwPpt"); }
    QTreeWidgetItem* root() { return tree()->topLevelItem(0); }

    // "slide name: child text, child text" for every slide node, checking on the way that the
    // tags lead back to the slide table and the slides' objects.
    std::vector<std::string> outline() {
        std::vector<std::string> lines;
        const SlideCollection& table = window.SlideTable();
        EXPECT_EQ(root()->childCount(), table.Count());
        for (int k = 0; k < root()->childCount(); ++k) {
            const QTreeWidgetItem* slide = root()->child(k);
            EXPECT_FALSE(slide->isExpanded());
            EXPECT_FALSE(slide->data(0, kKeyRole).isValid());
            const int slideKey = slide->data(0, kTagRole).toInt();
            EXPECT_EQ(slideKey, table.KeyAt(k));
            const ShapeCollection& objects = *table.Item(slideKey)->Objects();
            std::string line = slide->text(0).toStdString() + ":";
            for (int m = 0; m < slide->childCount(); ++m) {
                const QTreeWidgetItem* shape = slide->child(m);
                EXPECT_EQ(shape->data(0, kTagRole).toInt(), objects.KeyAt(m));
                line += " " + shape->text(0).toStdString();
            }
            lines.push_back(line);
        }
        return lines;
    }

    testing::Application application;
    testing::ScriptedDesktop desktop;
    frmMain window;
};

using Lines = std::vector<std::string>;

TEST_F(TemplateTree, ShowsSlidesAndTheirEmbeddedObjectsUnderTheRoot) {
    desktop.WillChoose(AppFixture("template.pptx"));
    clickTemplate();

    EXPECT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();
    ASSERT_EQ(desktop.Dialogs().size(), 1u);
    EXPECT_EQ(desktop.Dialogs()[0].filterDescription, "Powerpoint");
    EXPECT_EQ(window.TemplatePath(), AppFixture("template.pptx"));
    EXPECT_EQ(Control<QLineEdit>(window, "txtPpt")->text().toStdString(),
              AppFixture("template.pptx"));

    ASSERT_EQ(tree()->topLevelItemCount(), 1);
    EXPECT_EQ(root()->text(0), QString::fromUtf8("ppt模板"));
    EXPECT_EQ(root()->data(0, kKeyRole).toString(), "Root");
    EXPECT_TRUE(root()->isExpanded());
    // Two charts told apart only by their tags; a slide without embedded objects; a workbook
    // object and another program's object under their classifications.
    EXPECT_EQ(outline(), (Lines{"Slide 1: Chart Chart",
                                "Slide 2:", "Slide 3: Chart ExcelTable Word.Document.12"}));
    const QTreeWidgetItem* charts = root()->child(0);
    EXPECT_NE(charts->child(0)->data(0, kTagRole), charts->child(1)->data(0, kTagRole));

    ASSERT_NE(window.PptApp(), nullptr);
    EXPECT_NE(window.PptApp()->Visible(), office::ppt::msoFalse);
    EXPECT_EQ(window.PptApp()->WindowState(), office::ppt::ppWindowMinimized);
}

TEST_F(TemplateTree, CancellingLeavesPathTableAndTreeAlone) {
    desktop.WillCancel();
    clickTemplate();
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_EQ(window.PptApp(), nullptr);

    desktop.WillChoose(AppFixture("template.pptx"));
    clickTemplate();
    desktop.WillCancel();
    clickTemplate();
    EXPECT_EQ(window.TemplatePath(), AppFixture("template.pptx"));
    EXPECT_EQ(window.SlideTable().Count(), 3);
    EXPECT_EQ(outline().size(), 3u);
}

TEST_F(TemplateTree, SecondTemplateReplacesEveryNodeAndTheFirstStaysOpen) {
    desktop.WillChoose(AppFixture("template.pptx"));
    clickTemplate();
    desktop.WillChoose(AppFixture("progids.pptx"));
    clickTemplate();

    EXPECT_EQ(tree()->topLevelItemCount(), 1);
    EXPECT_EQ(outline(), (Lines{"Slide 1: Chart ExcelTable Chart package.mixedCase.2"}));
    EXPECT_EQ(window.PptApp()->Presentations()->Count(), 2);
    EXPECT_TRUE(root()->isExpanded());
}

TEST_F(TemplateTree, TemplateWithoutSlidesGivesTheRootAlone) {
    desktop.WillChoose(AppFixture("no_slides.pptx"));
    clickTemplate();
    ASSERT_EQ(tree()->topLevelItemCount(), 1);
    EXPECT_EQ(root()->childCount(), 0);
    EXPECT_EQ(window.SlideTable().Count(), 0);
}

TEST_F(TemplateTree, FailingOpenKeepsTheOldTreeAndItsPath) {
    desktop.WillChoose(AppFixture("template.pptx"));
    clickTemplate();
    desktop.WillChoose(AppFixture("missing.pptx"));
    clickTemplate();

    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(desktop.Messages()[0].rfind("Error 53: ", 0), 0u) << desktop.Messages()[0];
    EXPECT_EQ(window.TemplatePath(), AppFixture("template.pptx"));
    EXPECT_EQ(Control<QLineEdit>(window, "txtPpt")->text().toStdString(),
              AppFixture("template.pptx"));
    EXPECT_EQ(outline().size(), 3u);
}

TEST_F(TemplateTree, SlideNodesShowTheNameAtTheTimeOfTheBuild) {
    desktop.WillChoose(AppFixture("template.pptx"));
    clickTemplate();
    window.SlideTable().ValueAt(1)->SetName("Costs");
    EXPECT_EQ(root()->child(1)->text(0), "Slide 2");
    window.BuildTemplateTree();
    EXPECT_EQ(root()->child(1)->text(0), "Costs");
}

TEST_F(TemplateTree, EmbeddedWorkbookOfARealPresentation) {
    const std::string path =
        std::string(TABULON_REALWORLD_DIR) + "/pptx-ole/python-pptx__shp-access-ole-object.pptx";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "the real-world corpus is absent: " << path;
    }
    desktop.WillChoose(path);
    clickTemplate();
    EXPECT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();
    ASSERT_EQ(root()->childCount(), 1);
    ASSERT_EQ(root()->child(0)->childCount(), 1);
    EXPECT_EQ(root()->child(0)->child(0)->text(0), "ExcelTable");
}

}  // namespace
}  // namespace tabulon
