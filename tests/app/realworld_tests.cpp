// Every real-world file of the shared corpus through the window: each workbook lists its
// worksheets and each presentation builds its tree, as the office suites that wrote them would
// show them, and nothing crashes.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "desktop.h"

namespace tabulon {
namespace {

namespace fs = std::filesystem;
using testing::Control;

std::vector<std::string> corpus(const std::vector<std::string>& folders) {
    std::vector<std::string> files;
    for (const auto& folder : folders) {
        const fs::path path = fs::path(TABULON_REALWORLD_DIR) / folder;
        if (!fs::is_directory(path)) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(path)) {
            files.push_back(entry.path().string());
        }
    }
    return files;
}

class RealWorld : public ::testing::Test {
protected:
    // Chooses the file with the button; false, with the report's text as a test failure, when
    // the choice was reported as a failure.
    bool choose(const char* button, const std::string& file) {
        const std::size_t reported = desktop.Messages().size();
        desktop.WillChoose(file);
        Control<QPushButton>(window, button)->click();
        if (desktop.Messages().size() == reported) {
            return true;
        }
        ADD_FAILURE() << desktop.Messages().back();
        return false;
    }

    testing::Application application;
    testing::ScriptedDesktop desktop;
    frmMain window;
};

TEST_F(RealWorld, EveryPresentationBuildsItsTree) {
    const auto files = corpus({"pptx-charts", "pptx-ole", "pptx-tags-names"});
    if (files.empty()) {
        GTEST_SKIP() << "the real-world corpus is absent: " << TABULON_REALWORLD_DIR;
    }
    auto* tree = Control<QTreeWidget>(window, "tvwPpt");
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        if (!choose("cmdPowerpoint", file)) {
            continue;
        }
        const int slides = window.PptApp()->ActivePresentation()->Slides()->Count();
        ASSERT_EQ(tree->topLevelItemCount(), 1);
        EXPECT_EQ(tree->topLevelItem(0)->childCount(), slides);
        EXPECT_EQ(window.SlideTable().Count(), slides);
    }
}

TEST_F(RealWorld, EveryWorkbookListsItsWorksheets) {
    const auto files = corpus({"xlsx"});
    if (files.empty()) {
        GTEST_SKIP() << "the real-world corpus is absent: " << TABULON_REALWORLD_DIR;
    }
    auto* list = Control<QTreeWidget>(window, "lvwSheet");
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        if (!choose("CmdExcel", file)) {
            continue;
        }
        const auto workbooks = window.XlsApp()->Workbooks();
        const auto book = workbooks->Item(workbooks->Count());
        EXPECT_EQ(list->topLevelItemCount(), book->Worksheets()->Count());
    }
}

// A .xls workbook is a source like an .xlsx: its worksheets are listed. A .ppt presentation is
// a template like a .pptx: its slides are listed.
TEST_F(RealWorld, XlsWorkbooksListTheirSheetsAndPptFilesTheirSlides) {
    const auto workbooks = corpus({"xls"});
    const auto presentations = corpus({"ppt"});
    if (workbooks.empty() || presentations.empty()) {
        GTEST_SKIP() << "the real-world corpus is absent: " << TABULON_REALWORLD_DIR;
    }
    auto* list = Control<QTreeWidget>(window, "lvwSheet");
    for (const auto& file : workbooks) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(choose("CmdExcel", file));
        const auto books = window.XlsApp()->Workbooks();
        EXPECT_EQ(list->topLevelItemCount(), books->Item(books->Count())->Worksheets()->Count());
        EXPECT_GT(list->topLevelItemCount(), 0);
    }
    EXPECT_TRUE(desktop.Messages().empty());
    for (const auto& file : presentations) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(choose("cmdPowerpoint", file));
        auto* tree = Control<QTreeWidget>(window, "tvwPpt");
        EXPECT_EQ(tree->topLevelItem(0)->childCount(),
                  window.PptApp()->ActivePresentation()->Slides()->Count());
    }
}

}  // namespace
}  // namespace tabulon
