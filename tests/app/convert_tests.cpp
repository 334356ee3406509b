// Convert from the window: quitting the browsing applications, the output dialog, the three
// emptiness tests and the run, and one user journey from choosing the files to the output.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <filesystem>
#include <string>

#include "app/frmMain.h"
#include "desktop.h"
#include "office/excel.h"
#include "office/graph.h"
#include "office/powerpoint.h"
#include "validate.h"

namespace tabulon {
namespace {

using testing::AppFixture;
using testing::Control;

class ConvertCommand : public ::testing::Test {
protected:
    std::string copy(const std::string& from, const char* name) {
        const QString to = folder.filePath(name);
        EXPECT_TRUE(QFile::copy(QString::fromStdString(from), to));
        return to.toStdString();
    }
    std::string output(const char* name = "out.pptx") {
        return folder.filePath(name).toStdString();
    }
    void click(const char* button) { Control<QPushButton>(window, button)->click(); }
    void chooseWorkbook(const std::string& path) {
        desktop.WillChoose(path);
        click("CmdExcel");
    }
    void chooseTemplate(const std::string& path) {
        desktop.WillChoose(path);
        click("cmdPowerpoint");
    }
    void convertTo(const std::string& path) {
        desktop.WillChoose(path);
        click("cmdConvert");
    }

    testing::Application application;
    testing::ScriptedDesktop desktop;
    QTemporaryDir folder;
    frmMain window;
};

TEST_F(ConvertCommand, BeforeAnythingWasChosenShowsTheDialogAndRunsNothing) {
    // Paths typed into the boxes are never read.
    Control<QLineEdit>(window, "txtExcel")
        ->setText(QString::fromStdString(AppFixture("first.xlsx")));
    Control<QLineEdit>(window, "txtPpt")
        ->setText(QString::fromStdString(AppFixture("template.pptx")));
    // Save and link with nothing loaded do nothing either.
    click("cmdSave");
    click("cmdLink");
    window.mnuCMap()->trigger();
    EXPECT_TRUE(desktop.Dialogs().empty());
    convertTo(output());
    ASSERT_EQ(desktop.Dialogs().size(), 1u);
    EXPECT_TRUE(desktop.Dialogs()[0].save);
    EXPECT_EQ(desktop.Dialogs()[0].title, "Save Powerpoint");
    EXPECT_FALSE(std::filesystem::exists(output()));
    EXPECT_TRUE(desktop.Messages().empty());
}

TEST_F(ConvertCommand, WithOnlyAWorkbookQuitsItsApplicationAndRunsNothing) {
    chooseWorkbook(AppFixture("first.xlsx"));
    chooseWorkbook(AppFixture("second.xlsx"));
    const auto xls = window.XlsApp();
    const auto first = xls->Workbooks()->Item(1);
    convertTo(output());

    EXPECT_EQ(window.XlsApp(), nullptr);
    EXPECT_FALSE(xls->IsRunning());
    EXPECT_THROW(first->Name(), office::Error);
    EXPECT_FALSE(std::filesystem::exists(output()));
    EXPECT_TRUE(desktop.Messages().empty());
}

TEST_F(ConvertCommand, CancellingTheDialogStillQuitsBothAndKeepsListAndTree) {
    chooseWorkbook(AppFixture("first.xlsx"));
    chooseTemplate(AppFixture("template.pptx"));
    chooseTemplate(AppFixture("progids.pptx"));
    const auto ppt = window.PptApp();
    const auto xls = window.XlsApp();
    desktop.WillCancel();
    click("cmdConvert");

    EXPECT_FALSE(ppt->IsRunning());
    EXPECT_FALSE(xls->IsRunning());
    EXPECT_EQ(window.PptApp(), nullptr);
    EXPECT_EQ(window.XlsApp(), nullptr);
    EXPECT_EQ(Control<QTreeWidget>(window, "lvwSheet")->topLevelItemCount(), 4);
    EXPECT_EQ(Control<QTreeWidget>(window, "tvwPpt")->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(window.SlideTable().Count(), 1);
    EXPECT_TRUE(desktop.Messages().empty());

    // Closing the window afterwards quits nothing more.
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(desktop.Messages().empty());
}

TEST_F(ConvertCommand, FailureWhileQuittingEndsTheCommandBeforeTheDialog) {
    chooseWorkbook(AppFixture("first.xlsx"));
    chooseTemplate(AppFixture("template.pptx"));
    window.PptApp()->Quit();
    const auto dialogsBefore = desktop.Dialogs().size();
    convertTo(output());

    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(desktop.Messages()[0].rfind("Error 2005: ", 0), 0u) << desktop.Messages()[0];
    EXPECT_EQ(desktop.Dialogs().size(), dialogsBefore);
    EXPECT_NE(window.PptApp(), nullptr);
    ASSERT_NE(window.XlsApp(), nullptr);
    EXPECT_TRUE(window.XlsApp()->IsRunning());
}

TEST_F(ConvertCommand, UnsavedLinksPlayNoPartAndConvertingTwiceRunsTwice) {
    const std::string templatePath = copy(AppFixture("template.pptx"), "template.pptx");
    chooseWorkbook(AppFixture("first.xlsx"));
    chooseTemplate(templatePath);
    auto* list = Control<QTreeWidget>(window, "lvwSheet");
    list->setCurrentItem(list->topLevelItem(0));
    auto* tree = Control<QTreeWidget>(window, "tvwPpt");
    tree->setCurrentItem(tree->topLevelItem(0)->child(0)->child(0));
    click("cmdLink");
    ASSERT_EQ(window.SlideTable().ValueAt(0)->Name(), "Sales");

    convertTo(output());
    ASSERT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();
    ASSERT_TRUE(std::filesystem::exists(output()));
    convertTo(output("again.pptx"));
    ASSERT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();
    EXPECT_TRUE(std::filesystem::exists(output("again.pptx")));

    auto reader = office::ppt::Application::Create();
    const auto slide = reader->Presentations()->Open(output())->Slides()->Item(1);
    EXPECT_EQ(slide->Name(), "Slide 1");
    EXPECT_EQ(slide->Tags()->Count(), 0);
    reader->Quit();
}

// What a user does: choose the example workbook and template, cancel the links it carries, link
// two worksheets to two charts, save, and convert to a new file.
TEST_F(ConvertCommand, UserJourneyFromChoosingToTheConvertedFile) {
    const std::string examples = std::string(TABULON_SOURCE_DIR) + "/examples/";
    const std::string workbookPath = copy(examples + "sales-report.xlsx", "sales-report.xlsx");
    const std::string templatePath = copy(examples + "report-template.pptx", "template.pptx");
    chooseWorkbook(workbookPath);
    chooseTemplate(templatePath);
    auto* list = Control<QTreeWidget>(window, "lvwSheet");
    auto* tree = Control<QTreeWidget>(window, "tvwPpt");
    const auto slideNodeNamed = [tree](const QString& name) {
        QTreeWidgetItem* root = tree->topLevelItem(0);
        for (int k = 0; k < root->childCount(); ++k) {
            if (root->child(k)->text(0) == name) {
                return root->child(k);
            }
        }
        return static_cast<QTreeWidgetItem*>(nullptr);
    };
    // Start afresh: cancel the links that the example template carries.
    QTreeWidgetItem* root = tree->topLevelItem(0);
    for (int k = 0; k < root->childCount(); ++k) {
        if (root->child(k)->childCount() == 0) {
            continue;
        }
        tree->setCurrentItem(root->child(k)->child(0));
        window.mnuCMap()->trigger();
    }
    ASSERT_EQ(slideNodeNamed("Mix"), nullptr);
    for (const QString sheet : {"Mix", "Backlog"}) {
        QTreeWidgetItem* chartNode = nullptr;
        for (int k = 0; k < root->childCount() && !chartNode; ++k) {
            QTreeWidgetItem* slideNode = root->child(k);
            if (slideNode->text(0).startsWith("slide") && slideNode->childCount() > 0 &&
                slideNode->child(0)->text(0) == "Chart") {
                chartNode = slideNode->child(0);
            }
        }
        ASSERT_NE(chartNode, nullptr);
        list->setCurrentItem(list->findItems(sheet, Qt::MatchExactly).value(0));
        tree->setCurrentItem(chartNode);
        click("cmdLink");
        ASSERT_EQ(chartNode->parent()->text(0), sheet);
    }
    click("cmdSave");
    convertTo(output());
    ASSERT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();

    auto xls = office::excel::Application::Create();
    const auto book = xls->Workbooks()->Open(workbookPath);
    auto ppt = office::ppt::Application::Create();
    const auto result = ppt->Presentations()->Open(output())->Slides();
    const auto saved = ppt->Presentations()->Open(templatePath)->Slides();
    for (const std::string sheetName : {"Mix", "Backlog"}) {
        SCOPED_TRACE(sheetName);
        std::shared_ptr<office::excel::Worksheet> source;
        for (int i = 1; i <= book->Worksheets()->Count(); ++i) {
            if (book->Worksheets()->Item(i)->Name() == sheetName) {
                source = book->Worksheets()->Item(i);
            }
        }
        ASSERT_NE(source, nullptr);
        std::shared_ptr<office::ppt::Slide> out;
        std::shared_ptr<office::ppt::Slide> linked;
        for (int i = 1; i <= result->Count(); ++i) {
            if (result->Item(i)->Name() == sheetName) {
                out = result->Item(i);
                linked = saved->Item(i);
            }
        }
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(linked->Name(), sheetName);
        EXPECT_EQ(linked->Tags()->Item("Type"), "Chart");
        const std::string chartName = linked->Tags()->Item("Name");
        std::shared_ptr<office::ppt::Shape> chartShape;
        for (int j = 1; j <= out->Shapes()->Count(); ++j) {
            if (out->Shapes()->Item(j)->Name() == chartName) {
                chartShape = out->Shapes()->Item(j);
            }
        }
        ASSERT_NE(chartShape, nullptr);
        const auto server =
            office::As<office::graph::ChartObject>(chartShape->OLEFormat()->Object())
                ->Application();
        EXPECT_EQ(server->Chart()->ChartTitle()->Caption(), source->Range("A2")->Text());
        // The table starts two rows below the marker and lands at the data sheet's first cell.
        for (int row = 2; row <= 4; ++row) {
            EXPECT_EQ(server->DataSheet()->Cells(row, 2)->Value(),
                      source->Cells(row + 2, 2)->Value())
                << "row " << row;
        }
    }
    ppt->Quit();
    xls->Quit();

    for (const auto& written : {output(), templatePath}) {
        const auto problems = testing::Validate(written, examples + "report-template.pptx");
        if (problems) {
            EXPECT_EQ(*problems, "") << written;
        }
    }
}

}  // namespace
}  // namespace tabulon
