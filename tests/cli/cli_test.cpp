// tabulon-convert as a scheduler runs it: the built program, its exit status and what it
// prints on standard output and standard error.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

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

    struct Link {
        int slide;
        std::string sheet;
        std::string shape;
    };

    // The fixture template with slide 1 linked to the worksheet "Sales" through the host, or
    // with the links given.
    fs::path linkedTemplate(const std::vector<Link>& links = {{1, "Sales", "Bar Chart"}}) {
        const fs::path target = folder_ / "template.pptx";
        auto app = ppt::Application::Create();
        auto presentation = app->Presentations()->Open(fixture("charts.pptx").string());
        for (const auto& link : links) {
            auto slide = presentation->Slides()->Item(link.slide);
            slide->SetName(link.sheet);
            slide->Tags()->Add("Name", link.shape);
            slide->Tags()->Add("Type", "Chart");
        }
        presentation->SaveAs(target.string(), ppt::ppSaveAsPresentation);
        app->Quit();
        return target;
    }

    fs::path folder_;
    fs::path program_;
};

// The version is set once, in project() of the top CMakeLists.txt; the program prints what the
// generated header carries from there.
TEST_F(Cli, VersionIsTheOneThatCMakeListsSets) {
    const std::string lists = slurp(fs::path(TABULON_SOURCE_DIR) / "CMakeLists.txt");
    std::smatch found;
    ASSERT_TRUE(
        std::regex_search(lists, found, std::regex(R"(project\(Tabulon VERSION ([0-9.]+))")))
        << "no project() version in CMakeLists.txt";
    const std::string version = found[1];
    EXPECT_EQ(run("--version").out, "tabulon-convert " + version + "\n");

    const std::string header =
        slurp(fs::path(TABULON_BINARY_DIR) / "generated" / "tabulon" / "version.h");
    EXPECT_NE(header.find("kText = \"" + version + "\""), std::string::npos) << header;
}

TEST_F(Cli, VersionAndHelpGoToStandardOutput) {
    const auto version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tabulon-convert 1.1.0\n");
    EXPECT_EQ(version.err, "");

    const auto help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: tabulon-convert [--strict] [--dry-run] [--quiet] WORKBOOK "
                             "TEMPLATE OUTPUT\n",
                             0),
              0u)
        << help.out;
    for (const char* option : {"--strict", "--dry-run", "--quiet", "crontab"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(help.err, "");
}

TEST_F(Cli, WrongArgumentCountPrintsUsageOnStandardErrorAndExitsTwo) {
    for (const std::string arguments :
         {"", "a.xlsx", "a.xlsx b.pptx", "a b c d", "--verbose", "--strict a b", "a b c --dry"}) {
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
    // Only warnings (the other worksheets of blocks.xlsx fill no slide) follow it.
    EXPECT_EQ(result.err.rfind("warning: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find("error"), std::string::npos) << result.err;
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(Cli, BundledExampleConvertsWithOnlyItsOneWarningOnStandardError) {
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
    // The example's notes sheet is meant to fill nothing, and is said to.
    EXPECT_EQ(result.err,
              "warning: sales-report.xlsx: worksheet \"Notes\" fills no slide: "
              "report-template.pptx has no slide of that name\n");
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
    const fs::path templ = linkedTemplate({{1, "Sales", "No Such Chart"}});
    const fs::path output = folder_ / "report.pptx";
    const auto result = run(quoted(fixture("chartsheet.xlsx").string()) + " " +
                            quoted(templ.string()) + " " + quoted(output.string()));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("error 91: chartsheet.xlsx: worksheet \"Sales\"", 0), 0u)
        << result.err;
    EXPECT_FALSE(fs::exists(output));

    const auto missing = run(quoted((folder_ / "missing.xlsx").string()) + " " +
                             quoted(templ.string()) + " " + quoted(output.string()));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("error 53: ", 0), 0u) << missing.err;
    EXPECT_NE(missing.err.find("missing.xlsx"), std::string::npos) << missing.err;
}

class CliRun : public Cli {
protected:
    Result convert(const std::string& options, const std::string& workbook, const fs::path& templ,
                   const fs::path& output) {
        return run(options + " " + quoted(fixture(workbook).string()) + " " +
                   quoted(templ.string()) + " " + quoted(output.string()));
    }

    fs::path cleanTemplate() {
        return linkedTemplate({{1, "Sales", "Bar Chart"}, {2, "Later", "Line Chart"}});
    }

    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> found;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            found.push_back(line);
        }
        return found;
    }

    static std::string absolute(const fs::path& path) {
        return fs::absolute(path).lexically_normal().string();
    }
};

TEST_F(CliRun, WarningsFollowTheSummaryOnStandardErrorAndKeepExitZero) {
    // Only "Sales" of blocks.xlsx has a slide; slide 2 is linked to a worksheet that is not.
    const fs::path templ = linkedTemplate({{1, "Sales", "Bar Chart"}, {2, "Sales ", "Line Chart"}});
    const fs::path output = folder_ / "report.pptx";
    const auto result = convert("", "blocks.xlsx", templ, output);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "filled 1 slide and 1 shape from 2 table blocks; wrote " + absolute(output) + "\n");
    const auto warnings = lines(result.err);
    // The chart of Sales, ten worksheets and one slide.
    ASSERT_EQ(warnings.size(), 12u) << result.err;
    for (const auto& line : warnings) {
        EXPECT_EQ(line.rfind("warning: ", 0), 0u) << line;
    }
    EXPECT_EQ(warnings[0],
              "warning: template.pptx: slide 1 (\"Sales\"), shape \"Bar Chart\": the chart keeps "
              "data beyond the last block pasted into it: series \"2024\", \"Old C\"; categories "
              "\"South\", \"Q3\", \"Q4\"");
    EXPECT_EQ(warnings[1],
              "warning: blocks.xlsx: worksheet \"Gap9\" fills no slide: template.pptx has no "
              "slide of that name");
    EXPECT_EQ(warnings.back(),
              "warning: template.pptx: slide 2 (\"Sales \") is linked, but blocks.xlsx has no "
              "worksheet of that name");
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(CliRun, StrictRefusesToWriteWhenTheRunHasAWarning) {
    const fs::path templ = linkedTemplate();  // "Later" fills no slide
    const fs::path output = folder_ / "report.pptx";
    { std::ofstream(output, std::ios::binary) << "last month"; }
    const auto result = convert("--strict --quiet", "clean.xlsx", templ, output);
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
    const auto printed = lines(result.err);
    ASSERT_EQ(printed.size(), 2u) << result.err;
    EXPECT_EQ(printed[0],
              "warning: clean.xlsx: worksheet \"Later\" fills no slide: template.pptx has no "
              "slide of that name");
    EXPECT_EQ(printed[1], "error: 1 warning with --strict; " + absolute(output) + " not written");
    EXPECT_EQ(slurp(output), "last month");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 4)
        << "template, last month's output and the two captured streams";
}

TEST_F(CliRun, StrictRunWithoutWarningsWritesAsUsual) {
    const fs::path output = folder_ / "report.pptx";
    const auto result = convert("--strict", "clean.xlsx", cleanTemplate(), output);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(CliRun, DryRunPrintsWhatWouldBeFilledAndWritesNothing) {
    const fs::path output = folder_ / "report";
    const auto result = convert("--dry-run", "clean.xlsx", cleanTemplate(), output);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "would fill slide 1 (\"Sales\"), shape \"Bar Chart\", from worksheet \"Sales\" (1 "
              "table block)\n"
              "would fill slide 2 (\"Later\"), shape \"Line Chart\", from worksheet \"Later\" (1 "
              "table block)\n"
              "would fill 2 slides and 2 shapes from 2 table blocks; would write " +
                  absolute(output) + ".pptx\n");
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(folder_ / "report.pptx"));
}

TEST_F(CliRun, QuietPrintsNothingButErrors) {
    const fs::path output = folder_ / "report.pptx";
    const auto result = convert("--quiet", "blocks.xlsx", linkedTemplate(), output);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "") << "the warnings are silenced too";
    EXPECT_TRUE(fs::exists(output));
}

TEST_F(CliRun, SummaryNamesTheFileActuallyWritten) {
    const fs::path output = folder_ / "adir";
    const auto result = convert("", "clean.xlsx", cleanTemplate(), output);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "filled 2 slides and 2 shapes from 2 table blocks; wrote " +
                              absolute(output) + ".pptx\n");
    EXPECT_TRUE(fs::exists(folder_ / "adir.pptx"));
}

}  // namespace
