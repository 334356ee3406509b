#pragma once

// Helpers of the engine tests: fixture paths, a scratch folder per test, linking slides of a
// template through the office host the way the mapping stores a link, and reading a
// converted presentation back through the host.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "office/value.h"

namespace engine_test {

std::filesystem::path fixture(const std::string& name);

// A folder of its own for the running test, emptied first, below the build folder.
std::filesystem::path scratchFolder();

std::string readBytes(const std::filesystem::path& path);

// One link as the mapping writes it: the slide (1-based) takes the worksheet's name and the
// tag "Name" names the shape; "Type" is "Chart" for a chart.
struct Link {
    int slide;
    std::string sheet;
    std::string shape;
    std::string type = "Chart";
};

// Opens source, replaces the tags of each linked slide by the link's, renames the slide and
// saves the result as target, all through the office host.
void linkTemplate(const std::filesystem::path& source, const std::filesystem::path& target,
                  const std::vector<Link>& links);

// What a chart of a converted presentation holds, read back through the host.
struct ChartContent {
    std::vector<std::vector<office::Value>> grid;  // the data sheet's cells from (1, 1) on
    bool hasTitle = false;
    std::string title;
};

// Reads rows x columns data-sheet cells of the shape named shapeName on the slide.
ChartContent readChart(const std::filesystem::path& presentation, int slide,
                       const std::string& shapeName, int rows, int columns);

// The first worksheet of the embedded workbook named shapeName, cell values and number
// formats of rows x columns cells from A1, and the names of its worksheets.
struct EmbeddedContent {
    std::vector<std::vector<office::Value>> grid;
    std::vector<std::vector<std::string>> formats;
    std::vector<std::string> sheetNames;
    std::string secondSheetA1;
};

EmbeddedContent readEmbedded(const std::filesystem::path& presentation, int slide,
                             const std::string& shapeName, int rows, int columns);

// The names of the presentation's slides, in order.
std::vector<std::string> slideNames(const std::filesystem::path& presentation);

// Runs the independent OOXML validator on output against input; nullopt when the validator
// or its Python is not available, else its printout (empty when the output is clean).
std::optional<std::string> validate(const std::filesystem::path& output,
                                    const std::filesystem::path& input);

// A conversion test: a scratch folder with the paths of its template and output, and after
// the test an idle engine again (a failed run leaves its applications open on purpose).
class EngineRun : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Links the fixture template charts.pptx into template_.
    void link(const std::vector<Link>& links);

    std::filesystem::path folder_;
    std::filesystem::path template_;
    std::filesystem::path output_;
};

office::Value num(double v);
office::Value txt(const std::string& v);

}  // namespace engine_test
