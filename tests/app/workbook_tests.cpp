// Choosing the workbook: the dialog, the path, the spreadsheet application and the list.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "desktop.h"

namespace tabulon {
namespace {

using testing::AppFixture;
using testing::Control;

class Workbook : public ::testing::Test {
protected:
    void clickExcel() { Control<QPushButton>(window, "CmdExcel")->click(); }
    QString pathBox() { return Control<QLineEdit>(window, "txtExcel")->text(); }

    // Each item's text and tag, which must agree.
    std::vector<std::string> listed() {
        std::vector<std::string> names;
        auto* list = Control<QTreeWidget>(window, "lvwSheet");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            EXPECT_EQ(item->data(0, kTagRole).toString(), item->text(0));
            names.push_back(item->text(0).toStdString());
        }
        return names;
    }

    testing::Application application;
    testing::ScriptedDesktop desktop;
    frmMain window;
};

using Names = std::vector<std::string>;

TEST_F(Workbook, ListsEveryWorksheetUntrimmedInWorkbookOrder) {
    desktop.WillChoose(AppFixture("first.xlsx"));
    clickExcel();

    ASSERT_EQ(desktop.Dialogs().size(), 1u);
    EXPECT_EQ(desktop.Dialogs()[0].filterDescription, "ExcelFile");
    EXPECT_TRUE(desktop.Messages().empty()) << desktop.Messages().front();
    EXPECT_EQ(listed(), (Names{"Sales", "Costs", " Spaced Name ", "MiXeD"}));
    EXPECT_EQ(window.WorkbookPath(), AppFixture("first.xlsx"));
    EXPECT_EQ(pathBox().toStdString(), AppFixture("first.xlsx"));
    ASSERT_NE(window.XlsApp(), nullptr);
    EXPECT_TRUE(window.XlsApp()->Visible());
    EXPECT_EQ(window.XlsApp()->WindowState(), office::excel::xlMinimized);
}

TEST_F(Workbook, CancellingChangesNothing) {
    desktop.WillCancel();
    clickExcel();
    EXPECT_EQ(window.XlsApp(), nullptr);
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(window.WorkbookPath(), "");

    desktop.WillChoose(AppFixture("first.xlsx"));
    clickExcel();
    const auto app = window.XlsApp();
    desktop.WillCancel();
    clickExcel();
    EXPECT_EQ(desktop.Dialogs().size(), 3u);
    EXPECT_EQ(window.XlsApp(), app);
    EXPECT_EQ(window.WorkbookPath(), AppFixture("first.xlsx"));
    EXPECT_EQ(pathBox().toStdString(), AppFixture("first.xlsx"));
    EXPECT_EQ(listed().size(), 4u);
}

TEST_F(Workbook, SecondWorkbookOpensBesideTheFirstInTheSameApplication) {
    desktop.WillChoose(AppFixture("first.xlsx"));
    clickExcel();
    const auto app = window.XlsApp();
    desktop.WillChoose(AppFixture("second.xlsx"));
    clickExcel();

    EXPECT_EQ(window.XlsApp(), app);
    EXPECT_EQ(app->Workbooks()->Count(), 2);
    EXPECT_EQ(listed(), (Names{"Second", "汇总"}));
    EXPECT_EQ(window.WorkbookPath(), AppFixture("second.xlsx"));

    desktop.WillChoose(AppFixture("second.xlsx"));
    clickExcel();
    EXPECT_EQ(listed(), (Names{"Second", "汇总"}));
}

TEST_F(Workbook, FailingOpenKeepsTheListAndItsPathAndIsReported) {
    desktop.WillChoose(AppFixture("first.xlsx"));
    clickExcel();
    desktop.WillChoose(AppFixture("missing.xlsx"));
    clickExcel();

    ASSERT_EQ(desktop.Messages().size(), 1u);
    EXPECT_EQ(desktop.Messages()[0].rfind("Error 53: ", 0), 0u) << desktop.Messages()[0];
    EXPECT_NE(desktop.Messages()[0].find("missing.xlsx"), std::string::npos);
    EXPECT_EQ(desktop.Captions()[0], "Tabulon");
    // The list still shows the first workbook, and so do the path and its box.
    EXPECT_EQ(window.WorkbookPath(), AppFixture("first.xlsx"));
    EXPECT_EQ(pathBox().toStdString(), AppFixture("first.xlsx"));
    EXPECT_EQ(listed().size(), 4u);
    EXPECT_EQ(window.XlsApp()->WindowState(), office::excel::xlMinimized);

    desktop.WillChoose(AppFixture("not_a_workbook.xlsx"));
    clickExcel();
    ASSERT_EQ(desktop.Messages().size(), 2u);
    EXPECT_EQ(listed().size(), 4u);
}

TEST_F(Workbook, ApplicationMadeByAFailingChoiceStaysVisibleAndUnminimised) {
    desktop.WillChoose(AppFixture("missing.xlsx"));
    clickExcel();
    ASSERT_EQ(desktop.Messages().size(), 1u);
    ASSERT_NE(window.XlsApp(), nullptr);
    EXPECT_TRUE(window.XlsApp()->Visible());
    EXPECT_NE(window.XlsApp()->WindowState(), office::excel::xlMinimized);
}

TEST_F(Workbook, ChartSheetsAreNotListed) {
    desktop.WillChoose(AppFixture("chart_sheet.xlsx"));
    clickExcel();
    EXPECT_EQ(listed(), (Names{"Data", "Notes"}));
}

TEST_F(Workbook, TypingAPathLoadsNothing) {
    Control<QLineEdit>(window, "txtExcel")
        ->setText(QString::fromStdString(AppFixture("first.xlsx")));
    EXPECT_EQ(window.WorkbookPath(), "");
    EXPECT_EQ(window.XlsApp(), nullptr);
    EXPECT_TRUE(listed().empty());
}

}  // namespace
}  // namespace tabulon
