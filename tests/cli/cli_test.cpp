// tabulon-convert as a scheduler runs it: the built program, its exit status and what it
// prints on standard output and standard error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "office/powerpoint.h"

namespace {

namespace fs = std::filesystem;
namespace ppt = office::ppt;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

fs::path fixture(const std::string& name) {
    return fs::path(TABULON_FIXTURES_DIR) / "engine" / name;
}

class Cli : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::path(TABULON_BINARY_DIR) / "cli-tests" / info->name();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        program_ = fs::path(TABULON_BINARY_DIR) / "cli" / "tabulon-convert";
        if (!fs::exists(program_)) {
            GTEST_SKIP() << "tabulon-convert is not built: " << program_;
        }
    }

    Result run(const std::string& arguments) {
        const fs::path out = folder_ / "stdout.txt";
        const fs::path err = folder_ / "stderr.txt";
        const std::string command = quoted(program_.string()) + " " + arguments + " >" +
                                    quoted(out.string()) + " 2>" + quoted(err.string());
        const int raw = std::system(command.c_str());
        Result result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = slurp(out);
        result.err = slurp(err);
        return result;
    }

    // The fixture template with slide 1 linked to the worksheet "Sales" through the host.
    fs::path linkedTemplate() {
        const fs::path target = folder_ / "template.pptx";
        auto app = ppt::Application::Create();
        auto presentation = app->Presentations()->Open(fixture("charts.pptx").string());
        auto slide = presentation->Slides()->Item(1);
        slide->SetName("Sales");
        slide->Tags()->Add("Name", "Bar Chart");
        slide->Tags()->Add("Type", "Chart");
        presentation->SaveAs(target.string(), ppt::ppSaveAsPresentation);
        app->Quit();
        return target;
    }

    fs::path folder_;
    fs::path program_;
};

TEST_F(Cli, VersionAndHelpGoToStandardOutput) {
    const auto version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tabulon-convert 1.1.0\n");
    EXPECT_EQ(version.err, "");

    const auto help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: tabulon-convert WORKBOOK TEMPLATE OUTPUT\n", 0), 0u)
        << help.out;
    EXPECT_EQ(help.err, "");
}

TEST_F(Cli, WrongArgumentCountPrintsUsageOnStandardErrorAndExitsTwo) {
    for (const std::string arguments : {"", "a.xlsx", "a.xlsx b.pptx", "a b c d", "--verbose"}) {
        const auto result = run(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_EQ(result.out, "") << arguments;
        EXPECT_EQ(result.err.rfind("usage: tabulon-convert", 0), 0u) << arguments;
    }
}

TEST_F(Cli, ConversionPrintsOneLineWithTheCountsAndTheOutputPath) {
    const fs::path templ = linkedTemplate();
    const fs::path output = folder_ / "report.pptx";
    const auto result = run(quoted(fixture("blocks.xlsx").string()) + " " + quoted(templ.string()) +
                            " " + quoted(output.string()));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "filled 1 slide and 1 shape from 2 table blocks; wrote " +
                              fs::absolute(output).lexically_normal().string() + "\n");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(Cli, BundledExampleConvertsWithNothingOnStandardError) {
    // The embedded cost table is redrawn on the offscreen platform; its start-up notes must
    // not reach a scheduler's error mail.
    const fs::path examples = fs::path(TABULON_SOURCE_DIR) / "examples";
    const fs::path output = folder_ / "monthly-report.pptx";
    const auto result =
        run(quoted((examples / "sales-report.xlsx").string()) + " " +
            quoted((examples / "report-template.pptx").string()) + " " + quoted(output.string()));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("filled 6 slides and 6 shapes from 7 table blocks; wrote ", 0), 0u)
        << result.out;
    EXPECT_EQ(result.err, "");
}

TEST_F(Cli, RelativePathsAreTakenFromTheWorkingFolder) {
    const fs::path templ = linkedTemplate();
    fs::copy_file(fixture("blocks.xlsx"), folder_ / "book.xlsx");
    const std::string command = "cd " + quoted(folder_.string()) + " && " +
                                quoted(program_.string()) +
                                " book.xlsx template.pptx out.pptx >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(fs::exists(folder_ / "out.pptx"));
}

TEST_F(Cli, FailurePrintsCodeAndTextOnStandardErrorAndWritesNothing) {
    const fs::path templ = linkedTemplate();
    const fs::path output = folder_ / "report.pptx";
    const auto result = run(quoted(fixture("chartsheet.xlsx").string()) + " " +
                            quoted(templ.string()) + " " + quoted(output.string()));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("error 13: ", 0), 0u) << result.err;
    EXPECT_FALSE(fs::exists(output));

    const auto missing = run(quoted((folder_ / "missing.xlsx").string()) + " " +
                             quoted(templ.string()) + " " + quoted(output.string()));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("error 53: ", 0), 0u) << missing.err;
    EXPECT_NE(missing.err.find("missing.xlsx"), std::string::npos) << missing.err;
}

}  // namespace
