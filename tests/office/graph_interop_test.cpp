// An independent office suite draws what the chart server wrote: a filled deck converted to PDF
// by LibreOffice shows the new category labels and the new title, and date categories as dates.

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

// The deck converted to PDF by LibreOffice, its first page as text.
std::string firstPageText(office::package::Package& package, const fs::path& folder) {
    const fs::path out = folder / "filled.pptx";
    package.saveFile(out.string());
    // A profile of its own, so that a conversion running at the same time (another test, with
    // the profile that XDG_CONFIG_HOME names) is not handed this one.
    const auto converted =
        run("cd '" + folder.string() + "' && timeout 180 soffice -env:UserInstallation=file://" +
            (folder / "profile").string() + " --headless --convert-to pdf filled.pptx");
    EXPECT_EQ(converted.status, 0) << converted.output;
    return run("pdftotext -f 1 -l 1 '" + (folder / "filled.pdf").string() + "' -").output;
}

TEST(GraphInterop, LibreOfficeDrawsDateCategoriesAsDatesUnderAnUnchosenAxisFormat) {
    if (!sofficePresent()) {
        GTEST_SKIP() << "soffice or pdftotext is not installed";
    }
    auto document = openDocument(chartFixture("charts.pptx"));
    const ObjectSite site = chartSites(document).front();
    // The axis as a template made for text categories has it: General, not linked.
    auto& chart = document->package.xml(site.objectPart);
    chart.select_node("//c:catAx/c:numFmt").node().attribute("sourceLinked") = "0";
    document->package.markDirty(site.objectPart);

    office::CellBlock data = block(5, 3);
    const double firstOfMonth[] = {45658, 45689, 45717, 45748};  // 1 January to 1 April 2025
    for (int r = 1; r < 5; ++r) {
        data.cells[r * 3].value = office::Value::date(firstOfMonth[r - 1]);
        data.cells[r * 3].numberFormat = "d-mmm-yy";
    }
    fill(site, data, "Monthly");
    const std::string text = firstPageText(document->package, scratch());
    for (const char* label : {"1-Jan-25", "1-Feb-25", "1-Mar-25", "1-Apr-25"}) {
        EXPECT_NE(text.find(label), std::string::npos) << label << "\n" << text;
    }
    EXPECT_EQ(text.find("45658"), std::string::npos) << text;
}

}  // namespace
