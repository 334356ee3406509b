// The platform table of a program without a window: what the core's implementations answer,
// and how a test's replacements come and go. No Qt application is made here.

#include "platform/seams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CorePlatform, WithoutAWindowDialogsCancelTheDesktopOpensNothingAndMessagesGoToStandardError) {
    const platform::Platform core = platform::corePlatform();
    EXPECT_EQ(core.chooseFile(platform::FileDialog{}), "");
    EXPECT_FALSE(core.shellOpen("https://tabulon.invalid/"));

    ::testing::internal::CaptureStderr();
    const int answer = core.messageBox("the template is read-only", "Tabulon", platform::kCritical);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, platform::kAnswerOk);
    EXPECT_EQ(said, "Tabulon: the template is read-only\n");
}

TEST(CorePlatform, EveryFunctionOfTheTableIsThere) {
    const platform::Platform& table = platform::current();
    EXPECT_TRUE(table.chooseFile && table.messageBox && table.httpGet && table.shellOpen &&
                table.startProgram && table.today && table.executableDir);
    EXPECT_TRUE(table.today().ok());
}

TEST(ScopedPlatform, ReplacesOnlyTheGivenFunctionsAndRestoresTheTable) {
    {
        platform::Platform fake;
        fake.shellOpen = [](const std::string& target) { return target == "mailto:a@b.invalid"; };
        platform::ScopedPlatform scope(fake);
        EXPECT_TRUE(platform::current().shellOpen("mailto:a@b.invalid"));
        EXPECT_EQ(platform::current().chooseFile(platform::FileDialog{}), "") << "kept";
    }
    EXPECT_FALSE(platform::current().shellOpen("mailto:a@b.invalid"));
}

TEST(NameFilters, TheDialogsOwnFilterThenAllFiles) {
    platform::FileDialog dialog;
    dialog.filterDescription = "ExcelFile";
    dialog.patterns = {"*.xlsx", "*.xlsm", "*.xls"};
    EXPECT_EQ(platform::nameFilters(dialog),
              (std::vector<std::string>{"ExcelFile (*.xlsx *.xlsm *.xls)", "All files (*)"}));
}

}  // namespace
