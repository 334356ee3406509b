// Converts and fills the Graph chart objects of a presentation of 300 slides (one each, with its
// fallback picture and legacy drawing shape) through the chart server, as the conversion does:
// paste a block, set the title, Update (the object becomes a native chart), Quit; then saves.
//
// Run: bench_graph_convert [benchmark flags]. The deck is generated from the fixture
// tests/fixtures/pptx/three_charts.pptx into a temporary folder; the Graph objects' records are
// built here.

#include <benchmark/benchmark.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "office/clipboard.h"
#include "office/compound/compound_file.h"
#include "office/graph.h"
#include "office/package/package.h"
#include "office/ppt/object_site.h"
#include "tests/support/graph_records.h"
#include "tests/support/zip_entries.h"

namespace {

namespace fs = std::filesystem;
using support::graph_records::Body;
using support::graph_records::Stream;

constexpr int kSlides = 300;
const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

fs::path deckPath() {
    static const fs::path path = [] {
        fs::path folder = fs::temp_directory_path() / "tabulon_bench_graph_convert";
        fs::create_directories(folder);
        return folder / "deck.pptx";
    }();
    return path;
}

// A titled column chart of three series over four quarters, with a legend and gridlines, fonts
// for the chart and its value axis, a fixed scale, and one bar of a colour of its own.
std::string graphObject() {
    Stream s;
    for (const int twips : {200, 360}) {
        s.add(0x0031, Body().u16(twips).u16(0).u16(0x7FFF).u16(700).zeros(6).wide8("Arial"));
    }
    for (int c = 1; c <= 4; ++c) {
        s.label(0, c, "Q" + std::to_string(c));
    }
    for (int r = 1; r <= 3; ++r) {
        s.label(r, 0, "Region " + std::to_string(r));
        for (int c = 1; c <= 4; ++c) {
            s.number(r, c, r * 100 + c * 7.5, 3);
        }
    }
    s.add(0x1055, Body().u8(1).u16(0).u16(0).u8(1));
    for (int r = 0; r < 3; ++r) {
        s.add(0x1003, Body().u16(3).u16(1).u16(4).u16(4).u16(1).u16(0)).begin();
        s.add(0x1006, Body().u16(0xFFFF).u16(r).u16(r).u16(0)).begin();
        s.add(0x100A,
              Body().rgb(0x20 * r, 0x60, 0xA0).rgb(255, 255, 255).u16(1).u16(0).u16(8).u16(9));
        s.end();
        s.add(0x1006, Body().u16(2).u16(r).u16(r).u16(0)).begin();
        s.add(0x100A, Body().rgb(0xC0, 0x20, 0x20).rgb(0, 0, 0).u16(1).u16(0).u16(8).u16(9));
        s.end().end();
    }
    s.text(1, "Sales by quarter");
    s.add(0x1024, Body().u16(2)).add(0x1025, Body().zeros(24).u16(1).zeros(6)).begin();
    s.add(0x1026, Body().u16(1)).end();
    s.add(0x101D, Body().u16(0).zeros(16)).begin().end();
    s.add(0x101D, Body().u16(1).zeros(16)).begin();
    s.add(0x101F, Body().f64(0).f64(500).f64(100).f64(0).f64(0).u16(0x18));
    s.add(0x101E, Body().u8(2).u8(0).u8(3).u8(1).rgb(0, 0, 0).zeros(16).u16(1).zeros(4));
    s.add(0x1026, Body().u16(0));
    s.add(0x1021, Body().u16(1)).add(0x1007, Body().rgb(0, 0, 0).u16(0).u16(0).u16(1).u16(8));
    s.end();
    s.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().u16(0).u16(150).u16(0));
    s.add(0x1015, Body().zeros(16).u8(3).u8(1).u16(0)).end();
    s.finish();
    const auto file = office::compound::create({{"Workbook", s.bytes()}});
    return std::string(file.begin(), file.end());
}

std::string oleFrame(int shapeId) {
    const std::string id = std::to_string(shapeId);
    return "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"" + id +
           "\" name=\"Sales chart\"/><p:cNvGraphicFramePr><a:graphicFrameLocks "
           "noChangeAspect=\"1\"/></p:cNvGraphicFramePr><p:nvPr/></p:nvGraphicFramePr><p:xfrm><a:"
           "off x=\"457200\" y=\"914400\"/><a:ext cx=\"7315200\" "
           "cy=\"3657600\"/></p:xfrm><a:graphic>"
           "<a:graphicData uri=\"http://schemas.openxmlformats.org/presentationml/2006/ole\">"
           "<p:oleObj spid=\"_x0000_s" +
           id +
           "\" name=\"Chart\" r:id=\"rId1\" imgW=\"7315200\" imgH=\"3657600\" "
           "progId=\"MSGraph.Chart.8\"><p:embed/></p:oleObj></a:graphicData></a:graphic>"
           "</p:graphicFrame>";
}

std::string vmlDrawing(int shapeId) {
    return "<xml xmlns:v=\"urn:schemas-microsoft-com:vml\" "
           "xmlns:o=\"urn:schemas-microsoft-com:office:office\"><v:shape id=\"_x0000_s" +
           std::to_string(shapeId) +
           "\" style=\"position:absolute;left:36pt;top:72pt;width:576pt;height:288pt\">"
           "<v:imagedata o:relid=\"rId1\" o:title=\"\"/></v:shape></xml>";
}

std::string rels(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           body + "</Relationships>";
}

std::string rel(const std::string& id, const std::string& type, const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kRel + type + "\" Target=\"" + target +
           "\"/>";
}

void erase(std::string& xml, const std::string& opening) {
    for (auto at = xml.find(opening); at != std::string::npos; at = xml.find(opening, at)) {
        xml.erase(at, xml.find("/>", at) + 2 - at);
    }
}

void generateDeck(const fs::path& target) {
    auto entries = support::readZipEntries(std::string(TABULON_SOURCE_DIR) +
                                           "/tests/fixtures/pptx/three_charts.pptx");
    std::map<std::string, std::string> out;
    for (auto& [name, bytes] : entries) {
        if (!name.starts_with("ppt/slides/") && !name.starts_with("ppt/charts/") &&
            !name.starts_with("ppt/embeddings/") && !name.starts_with("ppt/notesSlides/")) {
            out[name] = bytes;
        }
    }
    std::string& types = out["[Content_Types].xml"];
    for (const char* kind : {"slides", "charts", "notesSlides"}) {
        erase(types, std::string("<Override PartName=\"/ppt/") + kind + "/");
    }
    types.insert(types.find("</Types>"),
                 "<Default Extension=\"bin\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.oleObject\"/>"
                 "<Default Extension=\"vml\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.vmlDrawing\"/>"
                 "<Default Extension=\"png\" ContentType=\"image/png\"/>");
    std::string& presentationRels = out["ppt/_rels/presentation.xml.rels"];
    for (int i = 1; i <= 3; ++i) {
        erase(presentationRels, "<Relationship Id=\"rId" + std::to_string(i + 1) + "\"");
    }
    std::string& presentation = out["ppt/presentation.xml"];
    const auto list = presentation.find("<p:sldIdLst>") + 12;
    presentation.erase(list, presentation.find("</p:sldIdLst>") - list);

    std::string slide = entries["ppt/slides/slide1.xml"];
    const auto frame = slide.find("<p:graphicFrame>");
    slide.replace(frame, slide.find("</p:graphicFrame>") + 17 - frame, oleFrame(3));
    const std::string object = graphObject();
    // The pictures are never drawn here: a PNG signature stands for each.
    const std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string ids;
    for (int i = 1; i <= kSlides; ++i) {
        const std::string n = std::to_string(i);
        ids += "<p:sldId id=\"" + std::to_string(255 + i) + "\" r:id=\"rId" +
               std::to_string(1000 + i) + "\"/>";
        presentationRels.insert(
            presentationRels.find("</Relationships>"),
            rel("rId" + std::to_string(1000 + i), "slide", "slides/slide" + n + ".xml"));
        types.insert(types.find("</Types>"),
                     "<Override PartName=\"/ppt/slides/slide" + n +
                         ".xml\" ContentType=\"application/"
                         "vnd.openxmlformats-officedocument.presentationml.slide+xml\"/>");
        out["ppt/slides/slide" + n + ".xml"] = slide;
        out["ppt/slides/_rels/slide" + n + ".xml.rels"] =
            rels(rel("rId1", "oleObject", "../embeddings/oleObject" + n + ".bin") +
                 rel("rId2", "slideLayout", "../slideLayouts/slideLayout1.xml") +
                 rel("rId3", "vmlDrawing", "../drawings/vmlDrawing" + n + ".vml"));
        out["ppt/embeddings/oleObject" + n + ".bin"] = object;
        out["ppt/drawings/vmlDrawing" + n + ".vml"] = vmlDrawing(3);
        out["ppt/drawings/_rels/vmlDrawing" + n + ".vml.rels"] =
            rels(rel("rId1", "image", "../media/graph" + n + ".png"));
        out["ppt/media/graph" + n + ".png"] = png;
    }
    presentation.insert(list, ids);

    int error = 0;
    zip_t* zip = zip_open(target.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto& [name, bytes] : out) {
        zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        const zip_int64_t index = zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 6);
    }
    if (zip_close(zip) != 0) {
        std::fprintf(stderr, "cannot write %s\n", target.c_str());
        std::exit(1);
    }
}

office::CellBlock block() {
    office::CellBlock b;
    b.rows = 6;
    b.columns = 7;
    for (int r = 0; r < b.rows; ++r) {
        for (int c = 0; c < b.columns; ++c) {
            office::ClipCell cell;
            if (r == 0 && c > 0) {
                cell.value = office::Value::text("Month " + std::to_string(c));
            } else if (c == 0 && r > 0) {
                cell.value = office::Value::text("Region " + std::to_string(r));
            } else if (r > 0) {
                cell.value = office::Value::number(r * 10.5 + c);
            }
            b.cells.push_back(cell);
        }
    }
    return b;
}

std::vector<office::detail::ObjectSite> graphSites(
    const std::shared_ptr<office::detail::OpenDocument>& document) {
    std::vector<office::detail::ObjectSite> sites;
    auto& package = document->package;
    for (int i = 1; i <= kSlides; ++i) {
        office::detail::ObjectSite site;
        site.document = document;
        site.slidePart = "ppt/slides/slide" + std::to_string(i) + ".xml";
        site.slideIndex = i;
        site.shapeId = 3;
        site.shapeName = "Sales chart";
        site.relId = "rId1";
        site.objectPart = office::package::resolveTarget(
            site.slidePart, package.relationships(site.slidePart).find("rId1")->target);
        site.progId = "MSGraph.Chart.8";
        sites.push_back(site);
    }
    return sites;
}

void convertFillAndSave(benchmark::State& state) {
    const fs::path output = deckPath().parent_path() / "filled.pptx";
    office::Clipboard::instance().set(block());
    for (auto _ : state) {
        auto document = std::make_shared<office::detail::OpenDocument>(office::detail::OpenDocument{
            office::package::Package::openFile(deckPath().string(), "presentation")});
        for (const auto& site : graphSites(document)) {
            auto object = office::detail::openChartObject(site);
            auto app = office::As<office::graph::Application>(object->GetProperty("Application"));
            app->DataSheet()->Cells(1, 1)->CallMethod("Paste");
            auto chart = app->Chart();
            if (chart->HasTitle()) {
                chart->ChartTitle()->SetCaption("Sales by month");
            }
            app->Update();
            app->Quit();
        }
        document->package.saveFile(output.string());
    }
    state.counters["charts"] = kSlides;
}

BENCHMARK(convertFillAndSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    generateDeck(deckPath());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
