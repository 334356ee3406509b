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
#include "support/office_error.h"
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
    EXPECT_OFFICE_ERROR(first->Name(), office::ErrorCode::ObjectClosed,
                        "first.xlsx: the workbook was closed or its application quit");
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

// Looks items up by name in the office host's collections, as a user finds them on screen.
std::shared_ptr<office::excel::Worksheet> worksheetNamed(office::excel::Workbook& book,
                                                         const std::string& name) {
    const auto sheets = book.Worksheets();
    for (int i = 1; i <= sheets->Count(); ++i) {
        if (sheets->Item(i)->Name() == name) {
            return sheets->Item(i);
        }
    }
    return nullptr;
}

int slideIndexNamed(office::ppt::Slides& slides, const std::string& name) {
    for (int i = 1; i <= slides.Count(); ++i) {
        if (slides.Item(i)->Name() == name) {
            return i;
        }
    }
    return 0;
}

std::shared_ptr<office::ppt::Shape> shapeNamed(office::ppt::Slide& slide, const std::string& name) {
    const auto shapes = slide.Shapes();
    for (int j = 1; j <= shapes->Count(); ++j) {
        if (shapes->Item(j)->Name() == name) {
            return shapes->Item(j);
        }
    }
    return nullptr;
}

// The user journey on the example: its template arrives linked, so every link is cancelled
// first; then two worksheets are linked to the first two free charts.
class UserJourney : public ConvertCommand {
protected:
    QTreeWidget* tree() { return Control<QTreeWidget>(window, "tvwPpt"); }
    QTreeWidgetItem* root() { return tree()->topLevelItem(0); }

    void cancelEveryLink() {
        for (int k = 0; k < root()->childCount(); ++k) {
            if (root()->child(k)->childCount() == 0) {
                continue;
            }
            tree()->setCurrentItem(root()->child(k)->child(0));
            window.mnuCMap()->trigger();
        }
    }

    // The chart node of the first slide that no worksheet names.
    QTreeWidgetItem* freeChartNode() {
        for (int k = 0; k < root()->childCount(); ++k) {
            QTreeWidgetItem* slideNode = root()->child(k);
            if (slideNode->text(0).startsWith("slide") && slideNode->childCount() > 0 &&
                slideNode->child(0)->text(0) == "Chart") {
                return slideNode->child(0);
            }
        }
        return nullptr;
    }

    void linkToFreeChart(const QString& sheet) {
        QTreeWidgetItem* chartNode = freeChartNode();
        ASSERT_NE(chartNode, nullptr);
        auto* list = Control<QTreeWidget>(window, "lvwSheet");
        list->setCurrentItem(list->findItems(sheet, Qt::MatchExactly).value(0));
        tree()->setCurrentItem(chartNode);
        click("cmdLink");
        ASSERT_EQ(chartNode->parent()->text(0), sheet);
    }

    // The linked slide of the saved template names a chart of the output that holds the
    // worksheet's title and its table from the data sheet's first cell on.
    void expectChartHoldsSheet(office::excel::Workbook& book, office::ppt::Slides& saved,
                               office::ppt::Slides& result, const std::string& sheetName) {
        SCOPED_TRACE(sheetName);
        const auto source = worksheetNamed(book, sheetName);
        const int index = slideIndexNamed(result, sheetName);
        ASSERT_NE(source, nullptr);
        ASSERT_NE(index, 0);
        const auto linked = saved.Item(index);
        EXPECT_EQ(linked->Name(), sheetName);
        EXPECT_EQ(linked->Tags()->Item("Type"), "Chart");
        const auto chartShape = shapeNamed(*result.Item(index), linked->Tags()->Item("Name"));
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
};

TEST_F(UserJourney, FromChoosingToTheConvertedFile) {
    const std::string examples = std::string(TABULON_SOURCE_DIR) + "/examples/";
    const std::string workbookPath = copy(examples + "sales-report.xlsx", "sales-report.xlsx");
    const std::string templatePath = copy(examples + "report-template.pptx", "template.pptx");
    chooseWorkbook(workbookPath);
    chooseTemplate(templatePath);
    cancelEveryLink();
    for (const QString sheet : {"Mix", "Backlog"}) {
        ASSERT_NO_FATAL_FAILURE(linkToFreeChart(sheet));
    }
    click("cmdSave");
    convertTo(output());
    // The chart of "Mix" shows more series than the worksheet's block; the run says so.
    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_NE(desktop.Messages()[0].find("\"Revenue Chart\": the chart keeps data"),
              std::string::npos);

    auto xls = office::excel::Application::Create();
    const auto book = xls->Workbooks()->Open(workbookPath);
    auto ppt = office::ppt::Application::Create();
    const auto result = ppt->Presentations()->Open(output())->Slides();
    const auto saved = ppt->Presentations()->Open(templatePath)->Slides();
    for (const std::string sheetName : {"Mix", "Backlog"}) {
        expectChartHoldsSheet(*book, *saved, *result, sheetName);
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
