// A Graph object in a deck that LibreOffice saved: converting a real .ppt to .pptx keeps the
// object as OLE and leaves out its progId. The conversion runs here, from the real-world corpus,
// and the test skips without LibreOffice or the corpus.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "office/powerpoint.h"
#include "support/validator.h"
#include "support/zip_entries.h"

namespace {

namespace fs = std::filesystem;
using engine_test::num;
using engine_test::txt;
using tabulon::testing::runCommand;

constexpr int kGraphSlide = 16;  // a Graph chart and an equation object, both without a name

// The .pptx that LibreOffice makes of the real-world deck in folder; empty when it cannot.
fs::path convertedByLibreOffice(const fs::path& deck, const fs::path& folder) {
    const std::string command =
        "soffice -env:UserInstallation=file://" + (folder / "profile").string() +
        " --headless --convert-to pptx --outdir '" + folder.string() + "' '" + deck.string() + "'";
    runCommand(command);
    const fs::path converted = folder / (deck.stem().string() + ".pptx");
    return fs::exists(converted) ? converted : fs::path();
}

TEST(LibreOfficeObject, AGraphObjectWithoutProgIdIsKnownByItsStorageAndFilled) {
    const fs::path deck = fs::path(TABULON_REALWORLD_DIR) / "ppt" / "poi__42520_msgraph.ppt";
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "the real-world corpus is absent: " << deck;
    }
    if (runCommand("command -v soffice").status != 0) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    const fs::path folder = engine_test::scratchFolder();
    const fs::path converted = convertedByLibreOffice(deck, folder);
    ASSERT_FALSE(converted.empty()) << "LibreOffice did not convert " << deck;
    const auto entries = support::readZipEntries(converted.string());
    ASSERT_EQ(entries.at("ppt/slides/slide16.xml").find("progId"), std::string::npos)
        << "LibreOffice now writes the ProgID: the case is gone";

    // The objects are told by their storages; the chart is named so that a tag can find it.
    const fs::path named = folder / "named.pptx";
    {
        auto app = office::ppt::Application::Create();
        auto presentation = app->Presentations()->Open(converted.string());
        auto shapes = presentation->Slides()->Item(kGraphSlide)->Shapes();
        std::map<std::string, std::shared_ptr<office::ppt::Shape>> objects;
        for (int i = 1; i <= shapes->Count(); ++i) {
            try {
                objects[shapes->Item(i)->OLEFormat()->ProgID()] = shapes->Item(i);
            } catch (const office::Error&) {
            }
        }
        ASSERT_EQ(objects.size(), 2U);
        ASSERT_TRUE(objects.count("MSGraph.Chart.8"));
        EXPECT_TRUE(objects.count("Equation.3"));  // by its CompObj stream
        objects["MSGraph.Chart.8"]->SetName("Graph");
        presentation->SaveAs(named.string());
        app->Quit();
    }

    const fs::path linked = folder / "linked.pptx";
    const fs::path output = folder / "out.pptx";
    engine_test::linkTemplate(named, linked, {{kGraphSlide, "Sales", "Graph"}});
    MDL_PptReport::ConvertReport(engine_test::fixture("blocks.xlsx").string(), linked.string(),
                                 output.string());
    const auto chart = engine_test::readChart(output, kGraphSlide, "Graph", 3, 3);
    EXPECT_EQ(chart.grid[1][0], txt("East"));
    EXPECT_EQ(chart.grid[1][1], num(50));
    EXPECT_EQ(chart.grid[2][2], num(40));
    if (auto problems = tabulon::testing::Validate(output.string(), converted.string())) {
        EXPECT_EQ(*problems, "");
    }
}

}  // namespace
