// An independent office suite draws what the chart server wrote: a filled deck converted to PDF
// by LibreOffice shows the new category labels and the new title.

#include <gtest/gtest.h>

#include "graph_support.h"

namespace {

using namespace graph_test;

bool sofficePresent() {
    return run("command -v soffice").status == 0 && run("command -v pdftotext").status == 0;
}

TEST(GraphInterop, LibreOfficeDrawsTheNewCategoriesAndTitle) {
    if (!sofficePresent()) {
        GTEST_SKIP() << "soffice or pdftotext is not installed";
    }
    const fs::path folder = scratch();
    auto document = openDocument(chartFixture("charts.pptx"));
    const auto sites = chartSites(document);
    ASSERT_FALSE(sites.empty());
    // The first chart: clustered columns, four regions in the template.
    fill(sites.front(), block(7, 3, "Quarterly"), "Revenue by quarter");
    const fs::path out = folder / "filled.pptx";
    document->package.saveFile(out.string());

    const auto converted = run("cd '" + folder.string() + "' && HOME='" + folder.string() +
                               "' timeout 180 soffice --headless --convert-to pdf filled.pptx");
    ASSERT_EQ(converted.status, 0) << converted.output;
    const auto text = run("pdftotext -f 1 -l 1 '" + (folder / "filled.pdf").string() + "' -");
    ASSERT_EQ(text.status, 0) << text.output;
    EXPECT_NE(text.output.find("Revenue by quarter"), std::string::npos) << text.output;
    for (int r = 1; r <= 6; ++r) {
        EXPECT_NE(text.output.find("Quarterly " + std::to_string(r)), std::string::npos)
            << text.output;
    }
    EXPECT_NE(text.output.find("New series 2"), std::string::npos) << text.output;
    EXPECT_EQ(text.output.find("Old bar title"), std::string::npos) << text.output;
}

}  // namespace
