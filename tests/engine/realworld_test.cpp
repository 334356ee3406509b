// Conversions into presentations made by other programs (the real-world corpus beside the
// repository): a few of each deck's charts and embedded workbooks are linked through the
// office host, the deck is converted from the fixture workbook, and the linked objects must
// carry the workbook's numbers afterwards.
#include <gtest/gtest.h>

#include <QString>

#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "office/dispatch.h"
#include "office/error.h"
#include "office/excel.h"
#include "office/graph.h"
#include "office/powerpoint.h"

namespace {

namespace fs = std::filesystem;
namespace ppt = office::ppt;
namespace excel = office::excel;
namespace graph = office::graph;
using office::Value;

constexpr int kMaxLinksPerDeck = 3;

enum class Kind { Chart, Workbook };

struct Linked {
    int slide;
    Kind kind;
    std::string sheet;
};

// What the fixture workbook's sheets leave at the data sheet's or worksheet's (2, 1) and
// (2, 2): the last block's first data row.
struct Expected {
    Value label;
    Value number;
};

Expected expectedFor(const std::string& sheet) {
    if (sheet == "Sales") {
        return {Value::text("East"), Value::number(50)};
    }
    if (sheet == "Gap9") {
        return {Value::text("b"), Value::number(2)};
    }
    if (sheet == "Borders") {
        return {Value::text("Jan"), Value::number(1)};
    }
    return {Value::text("Rent"), Value::number(1250.5)};
}

// The kind of object the shape holds, when the host can fill it.
std::optional<Kind> fillableKind(ppt::Shape& shape) {
    try {
        auto format = shape.OLEFormat();
        const bool chart =
            QString::fromStdString(format->ProgID()).contains("graph", Qt::CaseInsensitive);
        auto object = format->Object();
        if (chart) {
            auto server = office::As<graph::Application>(object->GetProperty("Application"));
            server->DataSheet()->Cells(1, 1)->Value();
            server->Quit();
            return Kind::Chart;
        }
        office::As<excel::Workbook>(object)->Close();
        return Kind::Workbook;
    } catch (const office::Error&) {
        return std::nullopt;
    }
}

// Links up to kMaxLinksPerDeck slides of the deck, each to the first object the host can fill,
// and saves the linked deck as target.
std::vector<Linked> linkDeck(const fs::path& deck, const fs::path& target) {
    static const std::vector<std::string> chartSheets = {"Sales", "Gap9", "Borders"};
    std::vector<Linked> links;
    auto app = ppt::Application::Create();
    auto presentation = app->Presentations()->Open(deck.string());
    auto slides = presentation->Slides();
    for (int s = 1; s <= slides->Count() && int(links.size()) < kMaxLinksPerDeck; ++s) {
        auto slide = slides->Item(s);
        auto shapes = slide->Shapes();
        for (int i = 1; i <= shapes->Count(); ++i) {
            auto shape = shapes->Item(i);
            const auto kind = fillableKind(*shape);
            if (!kind) {
                continue;
            }
            const std::string sheet =
                *kind == Kind::Chart ? chartSheets[links.size() % chartSheets.size()] : "Table";
            auto tags = slide->Tags();
            for (int t = tags->Count(); t >= 1; --t) {
                tags->Delete(tags->Name(t));
            }
            tags->Add("Name", shape->Name());
            slide->SetName(sheet);
            // The mapping's rule must lead back to this very shape.
            if (MDL_PptReport::GetMappedShape(slide)->Id() != shape->Id()) {
                tags->Delete("Name");
                slide->SetName("unlinked " + std::to_string(s));
                continue;
            }
            links.push_back({s, *kind, sheet});
            break;
        }
    }
    presentation->SaveAs(target.string(), ppt::ppSaveAsPresentation);
    app->Quit();
    return links;
}

// The values at (2, 1) and (2, 2) of the slide's target, read back through the host.
Expected readBack(const fs::path& output, const Linked& link) {
    auto app = ppt::Application::Create();
    auto presentation = app->Presentations()->Open(output.string());
    auto shape = MDL_PptReport::GetMappedShape(presentation->Slides()->Item(link.slide));
    auto object = shape->OLEFormat()->Object();
    Expected found;
    if (link.kind == Kind::Chart) {
        auto server = office::As<graph::Application>(object->GetProperty("Application"));
        found = {server->DataSheet()->Cells(2, 1)->Value(),
                 server->DataSheet()->Cells(2, 2)->Value()};
    } else {
        auto sheet = office::As<excel::Workbook>(object)->Worksheets()->Item(1);
        found = {sheet->Range("A2")->Value(), sheet->Range("B2")->Value()};
    }
    app->Quit();
    return found;
}

class RealWorldDeck : public testing::TestWithParam<std::string> {};

TEST_P(RealWorldDeck, LinkedObjectsCarryTheWorkbooksNumbers) {
    const fs::path deck = fs::path(TABULON_REALWORLD_DIR) / GetParam();
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "the real-world corpus is absent: " << deck;
    }
    const fs::path folder = engine_test::scratchFolder();
    const fs::path linked = folder / "linked.pptx";
    const fs::path output = folder / "output.pptx";
    const auto links = linkDeck(deck, linked);
    ASSERT_FALSE(links.empty()) << "no chart or embedded workbook the host can fill";

    MDL_PptReport::RunStatistics statistics;
    MDL_PptReport::ConvertReport(engine_test::fixture("blocks.xlsx").string(), linked.string(),
                                 output.string(), &statistics);
    EXPECT_GE(statistics.slides, int(links.size()));

    for (const Linked& link : links) {
        const Expected expected = expectedFor(link.sheet);
        const Expected found = readBack(output, link);
        EXPECT_EQ(found.label, expected.label) << "slide " << link.slide << " from " << link.sheet;
        EXPECT_EQ(found.number, expected.number)
            << "slide " << link.slide << " from " << link.sheet;
    }
    const auto printed = engine_test::validate(output, linked);
    if (printed) {
        EXPECT_EQ(*printed, "") << "the validator found new faults in the output";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Decks, RealWorldDeck,
    testing::Values("pptx-charts/python-pptx__cht-chart-type.pptx",
                    "pptx-charts/shapecrawler__084_charts.pptx",
                    "pptx-charts/pptx-automizer__SlideWithCharts.pptx",
                    "pptx-charts/poi__pie-chart.pptx",
                    "pptx-charts/poi__aascu.org_hbcu_leadershipsummit_cooper_.pptx",
                    "pptx-tags-names/shapecrawler__018_slidetags_chart.pptx",
                    "pptx-ole/python-pptx__shp-access-ole-object.pptx",
                    "pptx-ole/tika__testPPT_oleWorkbook.pptx"),
    [](const testing::TestParamInfo<std::string>& info) {
        std::string name;
        for (char c : info.param.substr(info.param.find('/') + 1)) {
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

}  // namespace
