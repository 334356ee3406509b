// Graph chart objects filled through the chart server: each becomes a native chart in its frame
// at Update, the object's parts leave the presentation, the output passes the validator, and a
// second run finds a native chart under the same name.

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "graph_support.h"
#include "msgraph_support.h"
#include "office/ascii.h"
#include "office/compound/compound_file.h"
#include "office/graph/msgraph/convert.h"
#include "office/powerpoint.h"
#include "support/office_error.h"
#include "support/workbook_check.h"

namespace {

using namespace graph_test;
using msgraph_test::Body;
using msgraph_test::Stream;

struct GraphDeck {
    std::string file;
    int slide;         // 1-based
    std::string plot;  // the native plot element expected
    std::string firstCategory;
    std::vector<std::string> seriesNames;  // as the data sheet holds them
};

const std::vector<GraphDeck> kDecks = {
    {"openxmlsdk__typical_msgraph.pptx",
     6,
     "c:barChart",
     "Graphics Scanned or imported",
     {"97 Study", "95 Study"}},
    {"openxmlsdk__typical_msgraph.pptx", 7, "c:pie3DChart", "Blank Presentation", {"East"}},
    {"tika__testMSChart-govdocs-428996.pptx",
     1,
     "c:bar3DChart",
     "2002",
     {"Tech Partners", "R&D Partners", "Total"}},
};

void PrintTo(const GraphDeck& deck, std::ostream* out) {
    *out << deck.file << ", slide " << deck.slide;
}

// The Graph object frame of a slide, as the presentation code describes it.
std::optional<ObjectSite> graphSite(const std::shared_ptr<OpenDocument>& document, int slideIndex) {
    auto& package = document->package;
    const std::string slide = slideParts(package).at(static_cast<std::size_t>(slideIndex - 1));
    const auto rels = package.relationships(slide);
    for (pugi::xpath_node frame : package.xml(slide).select_nodes("//p:graphicFrame")) {
        const pugi::xml_node ole = frame.node().select_node(".//p:oleObj").node();
        const auto* rel = ole ? rels.find(ole.attribute("r:id").value()) : nullptr;
        if (!rel) {
            continue;
        }
        ObjectSite site = frameSite(document, slide, slideIndex, frame.node(), *rel);
        site.progId = ole.attribute("progId").value();
        return site;
    }
    return std::nullopt;
}

pugi::xml_node frameById(pugi::xml_document& slide, int id) {
    for (pugi::xpath_node f : slide.select_nodes("//p:graphicFrame")) {
        if (f.node().child("p:nvGraphicFramePr").child("p:cNvPr").attribute("id").as_int() == id) {
            return f.node();
        }
    }
    return {};
}

// Every part some relationship points at, in lower case.
std::set<std::string> targets(const office::package::Package& package) {
    std::set<std::string> all;
    for (const std::string& name : package.partNames()) {
        const std::size_t folder = name.rfind("_rels/");
        if (folder == std::string::npos || !name.ends_with(".rels")) {
            continue;
        }
        const std::string source =
            name.substr(0, folder) + name.substr(folder + 6, name.size() - folder - 11);
        const auto rels = package.relationships(source);
        for (const auto& rel : rels.all()) {
            if (!rel.external) {
                all.insert(office::asciiLower(office::package::resolveTarget(source, rel.target)));
            }
        }
    }
    return all;
}

std::vector<std::string> orphans(const office::package::Package& package) {
    const std::set<std::string> used = targets(package);
    std::vector<std::string> found;
    for (const std::string& name : package.partNames()) {
        const bool isPart = !name.ends_with(".rels") && name != "[Content_Types].xml";
        if (isPart && !used.contains(office::asciiLower(name))) {
            found.push_back(name);
        }
    }
    return found;
}

std::shared_ptr<office::graph::Application> serverOf(const ObjectSite& site) {
    return office::As<office::graph::Application>(
        office::detail::openChartObject(site)->GetProperty("Application"));
}

class GraphFill : public ::testing::TestWithParam<GraphDeck> {};

TEST_P(GraphFill, BecomesANativeChartInTheSameFrame) {
    const GraphDeck& c = GetParam();
    const std::string deck = realworld("pptx-ole/" + c.file);
    if (!fs::exists(deck)) {
        GTEST_SKIP() << deck << " is absent";
    }
    const fs::path out = scratch() / "out.pptx";
    auto document = openDocument(deck);
    auto& package = document->package;
    const auto site = graphSite(document, c.slide);
    ASSERT_TRUE(site);
    const std::string oldPart = site->objectPart;
    const pugi::xml_node before = frameById(package.xml(site->slidePart), site->shapeId);
    const std::string xfrm = office::package::nodeText(before.child("p:xfrm"));
    const std::string spid =
        before.select_node(".//p:oleObj[@spid]").node().attribute("spid").value();
    ASSERT_FALSE(spid.empty());
    const std::vector<std::string> orphansBefore = orphans(package);

    // The data sheet reads as Graph lays it out, (1, 1) being its corner.
    auto app = serverOf(*site);
    EXPECT_EQ(app->DataSheet()->Cells(1, 2)->Value().toString(), c.firstCategory);
    for (std::size_t i = 0; i < c.seriesNames.size(); ++i) {
        EXPECT_EQ(app->DataSheet()->Cells(static_cast<int>(i) + 2, 1)->Value().asText(),
                  c.seriesNames[i]);
    }
    EXPECT_FALSE(app->Chart()->HasTitle());
    // Nothing changes in the slide before Update.
    EXPECT_TRUE(frameById(package.xml(site->slidePart), site->shapeId).select_node(".//p:oleObj"));

    // A block larger than the data sheet: 5 rows (4 series in rows) by 12 columns.
    office::Clipboard::instance().set(block(5, 12, "Row"));
    app->DataSheet()->Cells(1, 1)->Paste();
    app->Update();
    app->Quit();

    pugi::xml_node frame = frameById(package.xml(site->slidePart), site->shapeId);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame.child("p:nvGraphicFramePr").child("p:cNvPr").attribute("name").value(),
              site->shapeName);
    EXPECT_EQ(office::package::nodeText(frame.child("p:xfrm")), xfrm);
    EXPECT_FALSE(frame.select_node(".//p:oleObj"));
    const pugi::xml_node chartRef = frame.select_node(".//c:chart").node();
    ASSERT_TRUE(chartRef);
    const auto frameRels = package.relationships(site->slidePart);
    const auto* rel = frameRels.find(chartRef.attribute("r:id").value());
    ASSERT_NE(rel, nullptr);
    const std::string chartPart = office::package::resolveTarget(site->slidePart, rel->target);

    // The object's embedding, picture and legacy shape are gone, and nothing new is orphaned.
    EXPECT_FALSE(package.has(oldPart));
    EXPECT_EQ(orphans(package), orphansBefore);
    // Its legacy drawing shape is gone too: left behind, it would be drawn over the chart.
    for (const std::string& name : package.partNames()) {
        if (name.ends_with(".vml")) {
            EXPECT_EQ(package.read(name).find(spid), std::string::npos) << name;
        }
    }
    const auto slideRels = package.relationships(site->slidePart);
    for (const auto& r : slideRels.all()) {
        EXPECT_EQ(r.type.find("oleObject"), std::string::npos) << r.target;
    }

    pugi::xml_document& chart = package.xml(chartPart);
    ASSERT_TRUE(chart.select_node(("//c:plotArea/" + c.plot).c_str())) << chartPart;
    // Series in rows, as Graph plots them: the pasted block's rows 2..5 are the series, its first
    // row the categories.
    const auto series = chart.select_nodes("//c:ser");
    EXPECT_EQ(series.size(), 4u);
    EXPECT_EQ(std::string(series.first().node().select_node("c:tx//c:v").node().text().get()),
              "Row 1");
    EXPECT_EQ(cachePoints(series.first().node().select_node("c:cat//c:strCache").node()).size(),
              11u);
    EXPECT_EQ(std::string(series.first().node().select_node("c:val//c:f").node().text().get()),
              "Sheet1!$B$2:$L$2");
    EXPECT_TRUE(chart.select_node("//c:externalData"));

    package.saveFile(out.string());
    if (validatorPresent()) {
        const auto verdict = validateAgainst(out.string(), deck);
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }

    // A second run finds a native chart under the same name and fills it as such.
    auto again = office::ppt::Application::Create();
    auto presentation = again->Presentations()->Open(out.string());
    auto shapes = presentation->Slides()->Item(c.slide)->Shapes();
    std::shared_ptr<office::ppt::Shape> shape;
    for (int i = 1; i <= shapes->Count(); ++i) {
        if (shapes->Item(i)->Name() == site->shapeName) {
            shape = shapes->Item(i);
        }
    }
    ASSERT_TRUE(shape);
    EXPECT_EQ(shape->OLEFormat()->ProgID(), office::ppt::kChartServerProgID);
    auto native = office::As<office::graph::Application>(
        shape->OLEFormat()->Object()->GetProperty("Application"));
    EXPECT_EQ(native->DataSheet()->Cells(2, 1)->Value().asText(), "Row 1");
    EXPECT_EQ(native->DataSheet()->Cells(1, 12)->Value().asText(), "New series 11");
    office::Clipboard::instance().set(block(2, 3, "Small"));
    native->DataSheet()->Cells(1, 1)->Paste();
    native->Update();
    native->Quit();
    again->Quit();
}

INSTANTIATE_TEST_SUITE_P(RealWorld, GraphFill, ::testing::ValuesIn(kDecks),
                         [](const ::testing::TestParamInfo<GraphDeck>& info) {
                             return "deck" + std::to_string(info.index) + "slide" +
                                    std::to_string(info.param.slide);
                         });

// The real deck with its Graph object's records replaced by ours: a stacked line chart with a
// title and explicit colours.
std::shared_ptr<OpenDocument> deckWithRecords(const Stream& stream, ObjectSite& site) {
    const std::string deck = realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx");
    auto document = openDocument(deck);
    site = *graphSite(document, 1);
    const auto bytes = office::compound::create({{"Workbook", stream.bytes()}});
    document->package.write(site.objectPart, std::string(bytes.begin(), bytes.end()));
    return document;
}

Stream titledLineChart() {
    Stream s;
    s.label(0, 1, "Jan").label(0, 2, "Feb").label(1, 0, "North").number(1, 1, 5).number(1, 2, 7);
    s.add(0x1055, Body().u8(1).u16(0).u16(0).u8(1));
    s.add(0x1003, Body().zeros(12)).begin();
    s.add(0x1006, Body().u16(0xFFFF).u16(0).u16(0).u16(0)).begin();
    s.add(0x1007, Body().rgb(0x12, 0x34, 0x56).u16(0).u16(1).u16(0).u16(8)).end().end();
    s.text(1, "Old title");
    s.add(0x1014, Body().zeros(20)).begin().add(0x1018, Body().u16(1));
    s.add(0x1015, Body().zeros(16).u8(0).u8(1).u16(0)).end();
    return s.finish();
}

// One chart group of the given kind record, 3-D or flat, with titles, labels and a legend.
Stream kindChart(int id, const Body& body, bool threeD) {
    Stream s;
    s.label(0, 1, "A").label(0, 2, "B").label(1, 0, "S1").number(1, 1, 1).number(1, 2, 2);
    s.label(2, 0, "S2").number(2, 1, 3).number(2, 2, 4);
    s.add(0x1055, Body().u8(1).u16(0).u16(0).u8(1));
    s.add(0x1003, Body().zeros(12)).begin();
    s.add(0x1006, Body().u16(0xFFFF).u16(0).u16(0).u16(0)).begin();
    s.add(0x100B, Body().u16(20)).end();
    s.add(0x105F, Body().u8(1).u8(0)).end();
    s.text(1, "Kinds").text(2, "Value").text(3, "Category");
    s.add(0x101D, Body().u16(0).zeros(16)).begin().end();
    s.add(0x101D, Body().u16(1).zeros(16)).begin();
    s.add(0x1021, Body().u16(1)).add(0x1007, Body().rgb(0, 0, 0).u16(0).u16(0).u16(1).u16(8));
    s.end();
    s.add(0x1014, Body().zeros(20)).begin().add(id, body);
    if (threeD) {
        s.add(0x103A, Body().zeros(14));
    }
    s.add(0x1006, Body().u16(0).u16(0).u16(0xFFFD).u16(0)).begin();
    s.add(0x100C, Body().u16(0x01)).end();
    s.add(0x1015, Body().zeros(16).u8(2).u8(1).u16(0)).end();
    return s.finish();
}

TEST(GraphFill, EveryKindBecomesAValidNativeChart) {
    const std::string deck = realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    struct Case {
        int id;
        Body body;
        bool threeD;
        std::string plot;
    };
    const std::vector<Case> cases = {
        {0x1017, Body().u16(0).u16(80).u16(1), false, "c:barChart/c:barDir[@val='bar']"},
        {0x1017, Body().u16(0).u16(80).u16(2), true, "c:bar3DChart/c:shape[@val='cylinder']"},
        {0x1018, Body().u16(2), false, "c:lineChart/c:grouping[@val='percentStacked']"},
        {0x1018, Body().u16(0), true, "c:line3DChart"},
        {0x1019, Body().u16(0).u16(0).u16(0), false, "c:pieChart/c:ser/c:explosion[@val='20']"},
        {0x1019, Body().u16(0).u16(0).u16(0), true, "c:pie3DChart"},
        {0x1019, Body().u16(0).u16(50).u16(0), false, "c:doughnutChart/c:holeSize[@val='50']"},
        {0x101A, Body().u16(1), true, "c:area3DChart/c:grouping[@val='stacked']"},
        {0x101A, Body().u16(0), false, "c:areaChart"},
        {0x101B, Body().u16(100).u16(1).u16(0), false, "c:scatterChart/c:ser/c:yVal"},
        {0x103E, Body().u16(0), false, "c:radarChart/c:radarStyle[@val='marker']"},
        {0x1040, Body().u16(0), false, "c:radarChart/c:radarStyle[@val='filled']"},
    };
    const fs::path folder = scratch();
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plot);
        ObjectSite site;
        auto document = deckWithRecords(kindChart(c.id, c.body, c.threeD), site);
        auto app = serverOf(site);
        office::Clipboard::instance().set(block(4, 4, "Kind"));
        app->DataSheet()->Cells(1, 1)->Paste();
        app->Update();
        app->Quit();
        auto& package = document->package;
        const pugi::xml_node frame = frameById(package.xml(site.slidePart), site.shapeId);
        const auto frameRels = package.relationships(site.slidePart);
        const auto* rel =
            frameRels.find(frame.select_node(".//c:chart").node().attribute("r:id").value());
        ASSERT_NE(rel, nullptr);
        pugi::xml_document& chart =
            package.xml(office::package::resolveTarget(site.slidePart, rel->target));
        EXPECT_TRUE(chart.select_node(("//c:plotArea/" + c.plot).c_str()));
        EXPECT_EQ(chart.select_nodes("//c:ser").size(), 3u);
        EXPECT_TRUE(chart.select_node("//c:legend/c:legendPos[@val='t']"));
        EXPECT_TRUE(chart.select_node("//c:dLbls/c:showVal[@val='1']"));
        const bool pie = c.plot.starts_with("c:pie") || c.plot.starts_with("c:doughnut");
        EXPECT_EQ(static_cast<bool>(chart.select_node("//c:valAx/c:title")), !pie);
        EXPECT_EQ(static_cast<bool>(chart.select_node("//c:valAx/c:majorGridlines")), !pie);
        // Every axis a plot names is there.
        for (pugi::xpath_node id : chart.select_nodes("//c:plotArea/*/c:axId")) {
            const std::string val = id.node().attribute("val").value();
            EXPECT_TRUE(chart.select_node(
                ("//c:plotArea/*[c:axId/@val='" + val + "' and not(c:ser)]").c_str()))
                << val;
        }
        const fs::path out = folder / ("kind" + std::to_string(index++) + ".pptx");
        package.saveFile(out.string());
        if (validatorPresent()) {
            const auto verdict = validateAgainst(out.string(), deck);
            EXPECT_EQ(verdict.status, 0) << verdict.output;
        }
    }
}

bool sofficePresent() {
    return run("command -v soffice").status == 0 && run("command -v pdftotext").status == 0;
}

TEST(GraphFill, LibreOfficeDrawsTheNewNumbersAndCaption) {
    if (!sofficePresent()) {
        GTEST_SKIP() << "soffice or pdftotext is not installed";
    }
    if (!fs::exists(realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx"))) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    // Columns with both axes and value labels: the new categories, series names, numbers and
    // caption are all drawn.
    ObjectSite site;
    auto document = deckWithRecords(kindChart(0x1017, Body().u16(0).u16(150).u16(0), false), site);
    office::CellBlock data = block(3, 4, "Region");
    data.cells[1].value = office::Value::text("Alpha month");
    data.cells[2].value = office::Value::text("Beta month");
    fill(site, data, "Graph turned native");
    const fs::path folder = scratch();
    document->package.saveFile((folder / "filled.pptx").string());
    const auto converted = run("cd '" + folder.string() + "' && HOME='" + folder.string() +
                               "' timeout 180 soffice --headless --convert-to pdf filled.pptx");
    ASSERT_EQ(converted.status, 0) << converted.output;
    const auto text = run("pdftotext -f 1 -l 1 '" + (folder / "filled.pdf").string() + "' -");
    ASSERT_EQ(text.status, 0) << text.output;
    for (const char* shown :
         {"Graph turned native", "Alpha month", "Beta month", "Region 1", "21.5"}) {
        EXPECT_NE(text.output.find(shown), std::string::npos) << shown << "\n" << text.output;
    }
    EXPECT_EQ(text.output.find("Kinds"), std::string::npos) << text.output;
}

TEST(GraphFill, LibreOfficeDrawsTheCarriedOverLook) {
    const std::string deck = realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    // Fonts, markers, a point of its own, a logarithmic axis without labels, value labels, and
    // the series S2 left out of the chart: converted as it is, without new data. LibreOffice
    // draws the title, the legend of S1 and S3 and their labels, and nothing of S2.
    ObjectSite site;
    auto document = deckWithRecords(msgraph_test::lineChartWithLook(), site);
    auto app = serverOf(site);
    app->Update();
    app->Quit();
    const fs::path folder = scratch();
    document->package.saveFile((folder / "look.pptx").string());
    if (validatorPresent()) {
        const auto verdict = validateAgainst((folder / "look.pptx").string(), deck);
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }
    if (!sofficePresent()) {
        GTEST_SKIP() << "soffice or pdftotext is not installed";
    }
    const auto converted = run("cd '" + folder.string() + "' && HOME='" + folder.string() +
                               "' timeout 180 soffice --headless --convert-to pdf look.pptx");
    ASSERT_EQ(converted.status, 0) << converted.output;
    const auto text = run("pdftotext -f 1 -l 1 '" + (folder / "look.pdf").string() + "' -");
    ASSERT_EQ(text.status, 0) << text.output;
    for (const char* shown : {"Look", "S1", "S3", "31", "13"}) {
        EXPECT_NE(text.output.find(shown), std::string::npos) << shown << "\n" << text.output;
    }
    for (const char* hidden : {"S2", "21", "22", "23"}) {
        EXPECT_EQ(text.output.find(hidden), std::string::npos) << hidden << "\n" << text.output;
    }
}

TEST(GraphFill, TitleCaptionColoursAndASmallerBlock) {
    if (!fs::exists(realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx"))) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    ObjectSite site;
    auto document = deckWithRecords(titledLineChart(), site);
    auto app = serverOf(site);
    ASSERT_TRUE(app->Chart()->HasTitle());
    EXPECT_EQ(app->Chart()->ChartTitle()->Caption(), "Old title");
    app->Chart()->ChartTitle()->SetCaption("New title");
    // A block smaller than the data sheet: the cells beyond it stay.
    office::CellBlock one;
    one.rows = 1;
    one.columns = 1;
    one.cells = {office::ClipCell{office::Value::text("Corner"), "General"}};
    office::Clipboard::instance().set(one);
    app->DataSheet()->Cells(2, 2)->Paste();
    app->Update();
    app->Quit();

    auto& package = document->package;
    const pugi::xml_node frame = frameById(package.xml(site.slidePart), site.shapeId);
    const auto frameRels = package.relationships(site.slidePart);
    const auto* rel =
        frameRels.find(frame.select_node(".//c:chart").node().attribute("r:id").value());
    ASSERT_NE(rel, nullptr);
    pugi::xml_document& chart =
        package.xml(office::package::resolveTarget(site.slidePart, rel->target));
    EXPECT_EQ(std::string(chart.select_node("//c:title//a:t").node().text().get()), "New title");
    EXPECT_TRUE(chart.select_node("//c:lineChart/c:grouping[@val='stacked']"));
    EXPECT_TRUE(chart.select_node("//c:legend/c:legendPos[@val='b']"));
    EXPECT_TRUE(chart.select_node("//c:ser/c:spPr/a:ln/a:solidFill/a:srgbClr[@val='123456']"));
    const auto values = cachePoints(chart.select_node("//c:ser/c:val//c:numCache").node());
    EXPECT_EQ(values, (std::vector<std::string>{"", "7"}));  // "Corner" is no number
    EXPECT_EQ(std::string(chart.select_node("//c:ser/c:tx//c:v").node().text().get()), "North");
}

TEST(GraphFill, QuitWithoutUpdateLeavesTheDeckAsItWas) {
    if (!fs::exists(realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx"))) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    auto document = openDocument(realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx"));
    const auto names = document->package.partNames();
    const auto site = graphSite(document, 1);
    auto app = serverOf(*site);
    app->Quit();
    EXPECT_EQ(document->package.partNames(), names);
    EXPECT_TRUE(document->package.has(site->objectPart));
}

// The chart part a frame shows.
pugi::xml_document& chartOfFrame(OpenDocument& document, const ObjectSite& site) {
    auto& package = document.package;
    const pugi::xml_node frame = frameById(package.xml(site.slidePart), site.shapeId);
    const auto rels = package.relationships(site.slidePart);
    const auto* rel = rels.find(frame.select_node(".//c:chart").node().attribute("r:id").value());
    if (!rel) {
        throw std::runtime_error("the frame shows no chart");
    }
    return package.xml(office::package::resolveTarget(site.slidePart, rel->target));
}

TEST(GraphFill, AddedSeriesTakeTheObjectsPaletteAndKeepTheOutline) {
    if (!fs::exists(realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx"))) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    // Columns of one series, in an object whose palette is its own.
    Stream s;
    Body palette;
    palette.u16(56);
    for (int i = 0; i < 56; ++i) {
        palette.rgb(i, 0x80, 255 - i);
    }
    s.add(0x0092, palette);
    s.label(0, 1, "A").label(1, 0, "S1").number(1, 1, 1);
    s.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().u16(0).u16(150).u16(0)).end();
    ObjectSite site;
    auto document = deckWithRecords(s.finish(), site);
    fill(site, block(4, 3, "Row"), "");

    pugi::xml_document& chart = chartOfFrame(*document, site);
    const auto series = chart.select_nodes("//c:barChart/c:ser");
    ASSERT_EQ(series.size(), 3u);
    // Graph's automatic fills run from colour index 24 of the palette: entry 16 onwards.
    const std::vector<std::string> expected = {"1080EF", "1180EE", "1280ED"};
    for (std::size_t i = 0; i < series.size(); ++i) {
        SCOPED_TRACE(i);
        const pugi::xml_node spPr = series[i].node().child("c:spPr");
        EXPECT_EQ(
            std::string(spPr.select_node("a:solidFill/a:srgbClr").node().attribute("val").value()),
            expected[i]);
        EXPECT_EQ(
            std::string(
                spPr.select_node("a:ln/a:solidFill/a:prstClr").node().attribute("val").value()),
            "black");
    }
    const fs::path out = scratch() / "palette.pptx";
    document->package.saveFile(out.string());
    if (validatorPresent()) {
        const auto verdict = validateAgainst(
            out.string(), realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx"));
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }
}

TEST(GraphFill, AnObjectOpenedWithoutUpdateLeavesNoPartBehind) {
    const std::string deck = realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    const fs::path out = scratch() / "opened.pptx";
    {
        auto document = openDocument(deck);
        const auto names = document->package.partNames();
        const auto site = graphSite(document, 1);
        {
            // Opened and pasted into, then let go of (a failure between Paste and Update).
            auto app = serverOf(*site);
            office::Clipboard::instance().set(block(3, 3));
            app->DataSheet()->Cells(1, 1)->Paste();
        }
        EXPECT_EQ(document->package.partNames(), names);
        EXPECT_EQ(orphans(document->package), orphans(openDocument(deck)->package));
        document->package.saveFile(out.string());
    }
    if (validatorPresent()) {
        const auto verdict = validateAgainst(out.string(), deck);
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }
    // A second run finds the Graph object as it was and fills it.
    auto document = openDocument(out.string());
    const auto site = graphSite(document, 1);
    ASSERT_TRUE(site);
    EXPECT_TRUE(office::asciiLower(site->progId).starts_with("msgraph.chart"));
    fill(*site, block(3, 3), "");
    pugi::xml_document& chart = chartOfFrame(*document, *site);
    EXPECT_EQ(std::string(chart.select_node("//c:ser/c:tx//c:v").node().text().get()), "Cat 1");
    EXPECT_TRUE(orphans(document->package) == orphans(openDocument(deck)->package));
}

TEST(GraphFill, ARowLeftOutOfTheChartStaysOutWhenItIsFilled) {
    const std::string deck = realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    // Three series in rows; the second (data sheet row 2) is left out.
    Stream s;
    s.label(0, 1, "A").label(0, 2, "B");
    for (int row = 1; row <= 3; ++row) {
        s.label(row, 0, "S" + std::to_string(row)).number(row, 1, row).number(row, 2, row + 1);
    }
    s.add(0x1053, Body().u16(0).u16(2).u16(3).u16(4));
    s.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().u16(0).u16(150).u16(0)).end();
    ObjectSite site;
    auto document = deckWithRecords(s.finish(), site);
    fill(site, block(4, 3, "Row"), "");

    pugi::xml_document& chart = chartOfFrame(*document, site);
    std::vector<std::string> ranges;
    for (pugi::xpath_node ser : chart.select_nodes("//c:ser/c:val//c:f")) {
        ranges.push_back(ser.node().text().get());
    }
    // The sheet's row 3 (the data sheet's row 2) is in no range.
    for (const std::string& range : ranges) {
        EXPECT_EQ(range.find("$3"), std::string::npos) << range;
    }
    ASSERT_FALSE(ranges.empty());
    EXPECT_EQ(ranges.front(), "Sheet1!$B$2:$C$2");
    const fs::path out = scratch() / "leftout.pptx";
    document->package.saveFile(out.string());
    if (validatorPresent()) {
        const auto verdict = validateAgainst(out.string(), deck);
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }
}

TEST(GraphFill, AKindWithoutANativeFormFailsAndChangesNothing) {
    if (!fs::exists(realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx"))) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    Stream surface;
    surface.number(1, 1, 2).add(0x1014, Body().zeros(20)).begin();
    surface.add(0x103F, Body().u16(0)).end().finish();
    ObjectSite site;
    auto document = deckWithRecords(surface, site);
    const auto names = document->package.partNames();
    const std::string shape =
        "tika__testMSChart-govdocs-428996.pptx: slide 1, shape \"Object 2\": ";
    EXPECT_OFFICE_ERROR(office::detail::openChartObject(site), office::ErrorCode::NotSupported,
                        shape + "the chart object is a surface chart");
    EXPECT_EQ(document->package.partNames(), names);

    // An object without a data sheet stream.
    const auto bytes = office::compound::create({{"Other", {1, 2, 3}}});
    document->package.write(site.objectPart, std::string(bytes.begin(), bytes.end()));
    EXPECT_OFFICE_ERROR(office::detail::openChartObject(site), office::ErrorCode::CorruptPart,
                        shape +
                            "ppt/embeddings/oleObject1.bin: the chart object holds no data sheet "
                            "(no Workbook stream)");
}

// A pie of four slices over formatted numbers, in an object whose palette is its own.
Stream pieOfFour() {
    Stream s;
    Body palette;
    palette.u16(56);
    for (int i = 0; i < 56; ++i) {
        palette.rgb(i, 0x80, 255 - i);
    }
    s.add(0x0092, palette).label(1, 0, "Share");
    for (int c = 1; c <= 4; ++c) {
        s.label(0, c, "Q" + std::to_string(c)).number(1, c, 1000.0 * c, 4);
    }
    s.add(0x1014, Body().zeros(20)).begin().add(0x1019, Body().u16(0).u16(0).u16(0)).end();
    return s.finish();
}

// Filled with six categories, the new slices take the next colours of the object's palette as
// the old ones keep theirs; filled with a smaller block, the workbook's leftover cells keep
// formats that its styles hold, and openpyxl opens it.
TEST(GraphFill, APieKeepsItsPaletteAndItsWorkbookSound) {
    const std::string deck = realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    ObjectSite site;
    auto document = deckWithRecords(pieOfFour(), site);
    fill(site, block(2, 7, "Row"), "");
    std::vector<std::string> colours;
    for (pugi::xpath_node dPt : chartOfFrame(*document, site).select_nodes("//c:ser/c:dPt")) {
        colours.push_back(
            dPt.node().select_node("c:spPr/a:solidFill/a:srgbClr").node().attribute("val").value());
    }
    // Graph's automatic fills run from entry 16 of the palette, slice by slice.
    EXPECT_EQ(colours, (std::vector<std::string>{"1080EF", "1180EE", "1280ED", "1380EC", "1480EB",
                                                 "1580EA"}));
    const fs::path out = scratch() / "pie.pptx";
    document->package.saveFile(out.string());

    document = deckWithRecords(pieOfFour(), site);
    fill(site, block(2, 3, "Row"), "");
    const fs::path smaller = out.parent_path() / "smaller.pptx";
    document->package.saveFile(smaller.string());
    for (const auto& file : {out, smaller}) {
        if (validatorPresent()) {
            EXPECT_EQ(validateAgainst(file.string(), deck).output, "") << file;
        }
    }
    const auto saved = openDocument(smaller.string());
    const fs::path book = out.parent_path() / "data.xlsx";
    for (const std::string& part : saved->package.partNames()) {
        if (part.starts_with("ppt/embeddings/") && part.ends_with(".xlsx")) {
            std::ofstream(book, std::ios::binary) << saved->package.read(part);
        }
    }
    ASSERT_TRUE(fs::exists(book));
    EXPECT_EQ(
        support::missingIndexes(office::package::Package::openFile(book.string(), "workbook")),
        std::vector<std::string>{});
    EXPECT_EQ(support::openpyxlVerdict(book.string()).value_or(""), "");
    if (!support::openpyxlPresent()) {
        GTEST_SKIP() << "openpyxl is absent (python3-openpyxl): the workbook was not opened by it";
    }
}

}  // namespace
