// Runs that fail, and what they leave behind: no output or an untouched earlier output, an
// untouched template, the applications of the failed run (quit by the next run), and error
// texts that say where the run stopped.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "office/error.h"
#include "support/office_error.h"

namespace {

namespace fs = std::filesystem;
using engine_test::Link;
using engine_test::readBytes;

class FailedRun : public engine_test::EngineRun {
protected:
    void convert(const std::string& workbook, const fs::path& output) {
        MDL_PptReport::ConvertReport(engine_test::fixture(workbook).string(), template_.string(),
                                     output.string());
    }
};

// Slide 1 is filled, then slide 2 names a shape it lacks: the run fails after a transfer.
const std::vector<Link> kFailsAfterOneSlide = {{1, "Sales", "Bar Chart"}, {2, "Sales", "Chart 99"}};
const auto kNoShape = office::ErrorCode::ObjectRequired;
const std::string kNoChart99 =
    "template.pptx: slide 2 (\"Sales\"): the tag \"name\" names \"Chart 99\", and no shape of the "
    "slide has that name";

TEST_F(FailedRun, FailureAfterAFilledSlideEndsTheRunWithoutOutput) {
    link(kFailsAfterOneSlide);
    EXPECT_OFFICE_ERROR(convert("blocks.xlsx", output_), kNoShape, kNoChart99);
    EXPECT_FALSE(fs::exists(output_));
    // Nothing else was written beside it either: no temporary or partial file.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

TEST_F(FailedRun, EarlierOutputFileStaysAsItWas) {
    link(kFailsAfterOneSlide);
    { std::ofstream(output_, std::ios::binary) << "last month's report"; }
    EXPECT_OFFICE_ERROR(convert("blocks.xlsx", output_), kNoShape, kNoChart99);
    EXPECT_EQ(readBytes(output_), "last month's report");
}

TEST_F(FailedRun, TemplateIsNeverWrittenByARunToAnotherPath) {
    link({{1, "Sales", "Bar Chart"}, {6, "Table", "Cost Table", "ExcelTable"}});
    const std::string before = readBytes(template_);
    convert("blocks.xlsx", output_);
    EXPECT_EQ(readBytes(template_), before);
    EXPECT_TRUE(fs::exists(output_));
    link(kFailsAfterOneSlide);
    const std::string relinked = readBytes(template_);
    EXPECT_OFFICE_ERROR(convert("blocks.xlsx", folder_ / "second.pptx"), kNoShape, kNoChart99);
    EXPECT_EQ(readBytes(template_), relinked);
}

TEST_F(FailedRun, OutputOverTheTemplateReplacesItOnlyWhenTheRunSucceeds) {
    link(kFailsAfterOneSlide);
    const std::string before = readBytes(template_);
    EXPECT_OFFICE_ERROR(convert("blocks.xlsx", template_), kNoShape, kNoChart99);
    EXPECT_EQ(readBytes(template_), before);

    link({{1, "Sales", "Bar Chart"}});
    const std::string linked = readBytes(template_);
    convert("blocks.xlsx", template_);
    EXPECT_NE(readBytes(template_), linked);
    EXPECT_NE(readBytes(template_), before);
    EXPECT_EQ(engine_test::readChart(template_, 1, "Bar Chart", 2, 2).title, "Second");
}

TEST_F(FailedRun, ReadOnlyOutputIsNotReplaced) {
    // The refusal goes by the permission bits, so it holds when the tests run as root (as on
    // the build machine), whom the system would let write the file.
    link({{1, "Sales", "Bar Chart"}});
    { std::ofstream(output_, std::ios::binary) << "last month's report"; }
    fs::permissions(output_, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_OFFICE_ERROR(convert("blocks.xlsx", output_), office::ErrorCode::WriteFailed,
                        "output.pptx: is read-only, so it is not replaced; save under another "
                        "name or clear its read-only mark first");
    EXPECT_EQ(readBytes(output_), "last month's report");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
    fs::permissions(output_, fs::perms::owner_all);
}

TEST_F(FailedRun, SlideWhoseTagNamesNoShapeFailsNamingSheetSlideAndTag) {
    link({{2, "Sales", "Chart 99"}});
    EXPECT_OFFICE_ERROR(convert("blocks.xlsx", output_), kNoShape,
                        "blocks.xlsx: worksheet \"Sales\", block from row 1; " + kNoChart99);
    EXPECT_FALSE(fs::exists(output_));
}

TEST_F(FailedRun, SlideWithoutTagFailsSayingSo) {
    link({{2, "Sales", "", ""}});
    EXPECT_OFFICE_ERROR(convert("blocks.xlsx", output_), kNoShape,
                        "template.pptx: slide 2 (\"Sales\"): the slide has no tag \"name\"");
}

TEST_F(FailedRun, TargetThatIsNoEmbeddedObjectFails) {
    // "Text Box" is the first shape whose name occurs in the tag.
    link({{5, "Sales", "Text Box and Chart Beside Text"}});
    EXPECT_OFFICE_ERROR(convert("blocks.xlsx", output_), office::ErrorCode::TypeMismatch,
                        "template.pptx: slide 5, shape \"Text Box\" holds no embedded object");
}

TEST_F(FailedRun, AFailureThatNamesItsShapeNamesTheSlideOnce) {
    link({{5, "Sales", "Text Box and Chart Beside Text"}});
    EXPECT_OFFICE_ERROR(
        convert("blocks.xlsx", output_), office::ErrorCode::TypeMismatch,
        "blocks.xlsx: worksheet \"Sales\", block from row 1; template.pptx: slide 5, "
        "shape \"Text Box\" holds no embedded object");
}

TEST_F(FailedRun, MissingWorkbookPassesTheHostsErrorUnchanged) {
    link({});
    EXPECT_OFFICE_ERROR(convert("no-such-workbook.xlsx", output_), office::ErrorCode::FileNotFound,
                        "no-such-workbook.xlsx: no such file");
}

TEST_F(FailedRun, APptTemplateAskedForAnotherFormatIsRefusedBeforeTheRun) {
    // Refused by its name alone: the template is never opened, so no slide is filled in vain.
    EXPECT_OFFICE_ERROR(
        MDL_PptReport::ConvertReport("no-such-workbook.xlsx", "old.ppt", "out.pptx"),
        office::ErrorCode::InvalidArgument,
        "out.pptx: cannot save as \".pptx\": a PowerPoint 97-2003 presentation "
        "is written as .ppt; converting it to another format is not supported yet");
}

TEST_F(FailedRun, LeavesItsApplicationsOpenAndTheNextRunQuitsThem) {
    link(kFailsAfterOneSlide);
    EXPECT_OFFICE_ERROR(convert("blocks.xlsx", output_), kNoShape, kNoChart99);
    const auto oldXls = MDL_PptReport::EngineXlsApp;
    const auto oldPpt = MDL_PptReport::EnginePptApp;
    ASSERT_TRUE(oldXls && oldPpt);
    EXPECT_TRUE(oldXls->IsRunning());
    EXPECT_TRUE(oldPpt->IsRunning());
    EXPECT_FALSE(oldXls->DisplayAlerts()) << "alerts stay off after a failure past step 6";
    EXPECT_EQ(oldXls->Workbooks()->Count(), 1);
    EXPECT_EQ(oldPpt->Presentations()->Count(), 1);

    link({{1, "Sales", "Bar Chart"}});
    convert("blocks.xlsx", output_);
    EXPECT_FALSE(oldXls->IsRunning()) << "the left-over spreadsheet application leaked";
    EXPECT_FALSE(oldPpt->IsRunning());
    EXPECT_EQ(MDL_PptReport::EngineXlsApp, nullptr);
    EXPECT_EQ(MDL_PptReport::EnginePptApp, nullptr);
    EXPECT_EQ(MDL_PptReport::SourceWorkbook, nullptr);
}

}  // namespace
