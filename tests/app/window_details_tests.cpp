// The window's details around the commands: the tree answers the keyboard as it answers clicks,
// file dialogs start where the last file of their kind was chosen and offer every file too,
// message boxes carry the icon that fits, shape nodes name their shape, and a failed choice
// leaves the path box showing what the list or the tree shows.
#include <gtest/gtest.h>

#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <filesystem>
#include <string>

#include "app/frmMain.h"
#include "desktop.h"

namespace tabulon {
namespace {

using testing::AppFixture;
using testing::Control;

class WindowDetails : public ::testing::Test {
protected:
    void click(const char* button) { Control<QPushButton>(window, button)->click(); }
    QTreeWidget* tree() { return Control<QTreeWidget>(window, "tvwPpt"); }
    QTreeWidget* list() { return Control<QTreeWidget>(window, "lvwSheet"); }
    QString box(const char* name) { return Control<QLineEdit>(window, name)->text(); }
    QTreeWidgetItem* slideNode(int k) { return tree()->topLevelItem(0)->child(k); }

    void press(Qt::Key key) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(tree(), &down);
        QApplication::sendEvent(tree(), &up);
    }

    void chooseTemplate(const std::string& path) {
        desktop.WillChoose(path);
        click("cmdPowerpoint");
    }

    static std::string folderOf(const std::string& path) {
        return std::filesystem::path(path).parent_path().string();
    }

    testing::Application application;
    testing::ScriptedDesktop desktop;
    frmMain window;
};

TEST_F(WindowDetails, KeyboardNavigationAppliesTheEnablingRuleAsAClickDoes) {
    chooseTemplate(AppFixture("template.pptx"));
    ASSERT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();
    window.show();
    auto* linkButton = Control<QPushButton>(window, "cmdLink");
    tree()->setFocus();
    tree()->setCurrentItem(tree()->topLevelItem(0));
    press(Qt::Key_Down);  // the first slide
    ASSERT_EQ(tree()->currentItem(), slideNode(0));
    EXPECT_FALSE(linkButton->isEnabled());
    EXPECT_FALSE(window.mnuCMap()->isEnabled());
    press(Qt::Key_Right);  // opens it
    press(Qt::Key_Down);   // its first shape
    ASSERT_EQ(tree()->currentItem(), slideNode(0)->child(0));
    EXPECT_TRUE(linkButton->isEnabled());
    EXPECT_TRUE(window.mnuCMap()->isEnabled());
    press(Qt::Key_Up);  // back on the slide
    EXPECT_FALSE(linkButton->isEnabled());
    press(Qt::Key_Home);  // the root changes nothing
    ASSERT_EQ(tree()->currentItem(), tree()->topLevelItem(0));
    EXPECT_FALSE(linkButton->isEnabled());
}

TEST_F(WindowDetails, EachDialogOpensInTheFolderOfItsLastChoiceAndOffersAllFiles) {
    QTemporaryDir output;
    const std::string outputPath = output.filePath("report.pptx").toStdString();
    desktop.WillChoose(AppFixture("first.xlsx"));
    click("CmdExcel");
    desktop.WillCancel();
    click("CmdExcel");
    chooseTemplate(AppFixture("template.pptx"));
    desktop.WillChoose(outputPath);
    click("cmdConvert");
    desktop.WillCancel();
    click("cmdConvert");

    const auto& dialogs = desktop.Dialogs();
    ASSERT_EQ(dialogs.size(), 5u);
    EXPECT_EQ(dialogs[0].folder, "") << "nothing chosen yet: the system decides";
    EXPECT_EQ(dialogs[1].folder, folderOf(AppFixture("first.xlsx")));
    EXPECT_EQ(dialogs[2].folder, "") << "the template dialog keeps its own folder";
    EXPECT_EQ(dialogs[3].folder, "") << "so does the output dialog";
    EXPECT_EQ(dialogs[4].folder, output.path().toStdString());
    EXPECT_EQ(window.dlgoutput().folder, output.path().toStdString());

    EXPECT_EQ(platform::nameFilters(window.dlgOpenPpt()),
              (std::vector<std::string>{"Powerpoint (*.pptx *.ppt)", "All files (*)"}));
    EXPECT_EQ(platform::nameFilters(window.dlgoutput()).back(), "All files (*)");
}

TEST_F(WindowDetails, FailureReportsCarryTheErrorIconAndNoticesTheInformationIcon) {
    desktop.WillChoose(AppFixture("missing.xlsx"));
    click("CmdExcel");
    ASSERT_EQ(desktop.Buttons().size(), 1u);
    EXPECT_EQ(desktop.Buttons()[0], platform::kOkOnly | platform::kCritical);

    desktop.WillChoose(AppFixture("first.xlsx"));
    click("CmdExcel");
    chooseTemplate(AppFixture("template.pptx"));
    window.show();
    // Link one worksheet, then again: a slide bears its name already.
    for (int attempt = 0; attempt < 2; ++attempt) {
        list()->setCurrentItem(list()->topLevelItem(0));
        tree()->setCurrentItem(slideNode(0)->child(0));
        click("cmdLink");
    }
    ASSERT_EQ(desktop.Messages().size(), 2u);
    EXPECT_EQ(desktop.Messages()[1], "Sheet Table contain in ppt template");
    EXPECT_EQ(desktop.Buttons()[1], platform::kOkOnly | platform::kInformation);
}

TEST_F(WindowDetails, ShapeNodesShowTheirShapesNameAsTooltip) {
    chooseTemplate(AppFixture("template.pptx"));
    const SlideCollection& slides = window.SlideTable();
    int checked = 0;
    for (int k = 0; k < slides.Count(); ++k) {
        const ShapeCollection& shapes = *slides.ValueAt(k)->Objects();
        for (int m = 0; m < shapes.Count(); ++m) {
            const QTreeWidgetItem* node = slideNode(k)->child(m);
            EXPECT_EQ(node->toolTip(0).toStdString(), shapes.ValueAt(m)->Name());
            EXPECT_EQ(node->text(0).toStdString(), shapes.ValueAt(m)->ShapeType())
                << "the node's text stays the kind of shape";
            ++checked;
        }
    }
    EXPECT_GT(checked, 1);
    EXPECT_TRUE(slideNode(0)->toolTip(0).isEmpty()) << "slide nodes carry no tooltip";
}

TEST_F(WindowDetails, FailedWorkbookChoiceLeavesTheBoxNamingTheListedWorkbook) {
    desktop.WillChoose(AppFixture("missing.xlsx"));
    click("CmdExcel");
    EXPECT_EQ(box("txtExcel"), "") << "nothing is listed";
    EXPECT_EQ(window.WorkbookPath(), "");

    desktop.WillChoose(AppFixture("first.xlsx"));
    click("CmdExcel");
    const int listed = list()->topLevelItemCount();
    desktop.WillChoose(AppFixture("not_a_workbook.xlsx"));
    click("CmdExcel");
    EXPECT_EQ(desktop.Messages().size(), 2u);
    EXPECT_EQ(list()->topLevelItemCount(), listed);
    EXPECT_EQ(box("txtExcel").toStdString(), AppFixture("first.xlsx"));
    EXPECT_EQ(window.WorkbookPath(), AppFixture("first.xlsx"));
}

TEST_F(WindowDetails, FailedTemplateChoiceLeavesTheBoxNamingTheTemplateInTheTree) {
    chooseTemplate(AppFixture("template.pptx"));
    const int slides = tree()->topLevelItem(0)->childCount();
    chooseTemplate(AppFixture("missing.pptx"));
    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(tree()->topLevelItem(0)->childCount(), slides);
    EXPECT_EQ(box("txtPpt").toStdString(), AppFixture("template.pptx"));
    EXPECT_EQ(window.TemplatePath(), AppFixture("template.pptx"));
}

}  // namespace
}  // namespace tabulon
