#pragma once

// Makes the benchmarks' large inputs: presentations of many slides built from the fixture deck
// tests/fixtures/pptx/three_charts.pptx (its first chart repeated, each with its own part and
// embedded workbook; or one Graph chart object a slide), their .ppt made by LibreOffice, and
// workbooks of many worksheets.

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/MDL_PptReport.h"
#include "office/compound/compound_file.h"
#include "office/package/package.h"
#include "tests/support/graph_records.h"
#include "tests/support/zip_entries.h"

namespace bench {

namespace fs = std::filesystem;

// The zip with every entry deflated, as office suites write their files (tools that make test
// files often store them instead).
inline std::string deflateEveryEntry(const std::string& zipBytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_begin_write(source);
    zip_source_write(source, zipBytes.data(), zipBytes.size());
    zip_source_commit_write(source);
    zip_source_keep(source);
    zip_t* zip = zip_open_from_source(source, 0, &error);
    if (!zip) {
        std::fprintf(stderr, "cannot read a zip to deflate\n");
        std::exit(1);
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_set_file_compression(zip, static_cast<zip_uint64_t>(i), ZIP_CM_DEFLATE, 6);
    }
    if (zip_close(zip) != 0) {
        std::fprintf(stderr, "cannot deflate a zip\n");
        std::exit(1);
    }
    zip_stat_t stat;
    zip_source_stat(source, &stat);
    std::string bytes(stat.size, '\0');
    zip_source_open(source);
    zip_source_read(source, bytes.data(), stat.size);
    zip_source_close(source);
    zip_source_free(source);
    zip_error_fini(&error);
    return bytes;
}

inline void deflateEveryEntry(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << deflateEveryEntry(bytes);
}

// Removes every element that starts with `opening` (up to its "/>").
inline void eraseElements(std::string& xml, const std::string& opening) {
    for (auto at = xml.find(opening); at != std::string::npos; at = xml.find(opening, at)) {
        xml.erase(at, xml.find("/>", at) + 2 - at);
    }
}

inline void insertBefore(std::string& xml, const std::string& marker, const std::string& text) {
    xml.insert(xml.find(marker), text);
}

// The fixture's first slide and chart, repeated `slides` times, each chart with its own part and
// embedded workbook, deflated as office suites write them.
inline void generateDeck(const fs::path& target, int slides) {
    auto entries = support::readZipEntries(std::string(TABULON_SOURCE_DIR) +
                                           "/tests/fixtures/pptx/three_charts.pptx");
    std::map<std::string, std::string> out;
    for (auto& [name, bytes] : entries) {
        bool repeated = name.starts_with("ppt/slides/") || name.starts_with("ppt/charts/") ||
                        name.starts_with("ppt/embeddings/") || name.starts_with("ppt/notesSlides/");
        if (!repeated) {
            out[name] = bytes;
        }
    }
    std::string& types = out["[Content_Types].xml"];
    eraseElements(types, "<Override PartName=\"/ppt/slides/");
    eraseElements(types, "<Override PartName=\"/ppt/charts/");
    eraseElements(types, "<Override PartName=\"/ppt/notesSlides/");
    std::string& rels = out["ppt/_rels/presentation.xml.rels"];
    for (int i = 1; i <= 3; ++i) {
        eraseElements(rels, "<Relationship Id=\"rId" + std::to_string(i + 1) + "\"");
    }
    std::string& presentation = out["ppt/presentation.xml"];
    auto list = presentation.find("<p:sldIdLst>") + 12;
    presentation.erase(list, presentation.find("</p:sldIdLst>") - list);

    std::string slideIds;
    const std::string slideRels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    const std::string type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    for (int i = 1; i <= slides; ++i) {
        std::string n = std::to_string(i);
        std::string relId = "rId" + std::to_string(1000 + i);
        slideIds += "<p:sldId id=\"" + std::to_string(255 + i) + "\" r:id=\"" + relId + "\"/>";
        insertBefore(rels, "</Relationships>",
                     "<Relationship Id=\"" + relId + "\" Type=\"" + type +
                         "slide\" Target=\"slides/slide" + n + ".xml\"/>");
        insertBefore(types, "</Types>",
                     "<Override PartName=\"/ppt/slides/slide" + n +
                         ".xml\" ContentType=\"application/"
                         "vnd.openxmlformats-officedocument.presentationml.slide+xml\"/>"
                         "<Override PartName=\"/ppt/charts/chart" +
                         n +
                         ".xml\" ContentType=\"application/"
                         "vnd.openxmlformats-officedocument.drawingml.chart+xml\"/>");
        out["ppt/slides/slide" + n + ".xml"] = entries["ppt/slides/slide1.xml"];
        out["ppt/slides/_rels/slide" + n + ".xml.rels"] =
            slideRels + "<Relationship Id=\"rId1\" Type=\"" + type +
            "chart\" Target=\"../charts/chart" + n + ".xml\"/><Relationship Id=\"rId2\" Type=\"" +
            type + "slideLayout\" Target=\"../slideLayouts/slideLayout1.xml\"/></Relationships>";
        out["ppt/charts/chart" + n + ".xml"] = entries["ppt/charts/chart1.xml"];
        out["ppt/charts/_rels/chart" + n + ".xml.rels"] =
            slideRels + "<Relationship Id=\"rId1\" Type=\"" + type +
            "package\" Target=\"../embeddings/Workbook" + n + ".xlsx\"/></Relationships>";
        out["ppt/embeddings/Workbook" + n + ".xlsx"] =
            entries["ppt/embeddings/Microsoft_Excel_Worksheet1.xlsx"];
    }
    presentation.insert(list, slideIds);

    int error = 0;
    zip_t* zip = zip_open(target.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    std::vector<std::string> order;
    order.push_back("[Content_Types].xml");
    for (const auto& [name, bytes] : out) {
        if (name != "[Content_Types].xml") {
            order.push_back(name);
        }
    }
    for (const std::string& name : order) {
        const std::string& bytes = out[name];
        zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        zip_int64_t index = zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 6);
    }
    if (zip_close(zip) != 0) {
        std::fprintf(stderr, "cannot write %s\n", target.c_str());
        std::exit(1);
    }
}

// A titled column chart of three series over four quarters, with a legend and gridlines, fonts
// for the chart and its value axis, a fixed scale, and one bar of a colour of its own.
inline std::string graphObject() {
    using support::graph_records::Body;
    support::graph_records::Stream s;
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
    // The root storage carries Graph's class id, as Graph writes it; it names the object's kind
    // where a file keeps no ProgID.
    const office::compound::ClassId graph = {0x03, 0x08, 0x02, 0, 0, 0, 0, 0,
                                             0xC0, 0,    0,    0, 0, 0, 0, 0x46};
    const auto file = office::compound::create({{"Workbook", s.bytes()}}, {{"", graph}});
    return std::string(file.begin(), file.end());
}

inline std::string oleFrame(int shapeId) {
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

inline std::string vmlDrawing(int shapeId) {
    return "<xml xmlns:v=\"urn:schemas-microsoft-com:vml\" "
           "xmlns:o=\"urn:schemas-microsoft-com:office:office\"><v:shape id=\"_x0000_s" +
           std::to_string(shapeId) +
           "\" style=\"position:absolute;left:36pt;top:72pt;width:576pt;height:288pt\">"
           "<v:imagedata o:relid=\"rId1\" o:title=\"\"/></v:shape></xml>";
}

inline std::string rels(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           body + "</Relationships>";
}

inline std::string rel(const std::string& id, const std::string& type, const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"" +
           "http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + type +
           "\" Target=\"" + target + "\"/>";
}

// A deck of `slides` slides, each with one Graph chart object (graphObject(), as
// MSGraph.Chart.8) and its legacy drawing shape, in the fixture's theme and layouts.
inline void generateGraphDeck(const fs::path& target, int slides) {
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
        eraseElements(types, std::string("<Override PartName=\"/ppt/") + kind + "/");
    }
    types.insert(types.find("</Types>"),
                 "<Default Extension=\"bin\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.oleObject\"/>"
                 "<Default Extension=\"vml\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.vmlDrawing\"/>"
                 "<Default Extension=\"png\" ContentType=\"image/png\"/>");
    std::string& presentationRels = out["ppt/_rels/presentation.xml.rels"];
    for (int i = 1; i <= 3; ++i) {
        eraseElements(presentationRels, "<Relationship Id=\"rId" + std::to_string(i + 1) + "\"");
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
    for (int i = 1; i <= slides; ++i) {
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

// A folder of this process's own in the temporary folder, for a benchmark's inputs and outputs.
inline fs::path benchFolder() {
    const fs::path folder =
        fs::temp_directory_path() / ("tabulon-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    return folder;
}

// Converts folder/name to a .ppt beside it with LibreOffice (soffice must be installed). False,
// saying so, when the .ppt could not be made.
inline bool convertToPpt(const fs::path& folder, const std::string& name) {
    const std::string convert = "cd '" + folder.string() +
                                "' && soffice --headless --convert-to ppt '" + name +
                                "' >/dev/null";
    if (std::system(convert.c_str()) != 0 ||
        !fs::exists((folder / name).replace_extension(".ppt"))) {
        std::fprintf(stderr, "soffice could not make the .ppt deck; is LibreOffice installed?\n");
        return false;
    }
    return true;
}

// Writes folder/deck300.pptx of `slides` slides and LibreOffice's .ppt of it, folder/deck300.ppt
// (soffice must be installed). False, saying so, when the .ppt could not be made.
inline bool makePptDeck(const fs::path& folder, int slides) {
    generateDeck(folder / "deck300.pptx", slides);
    return convertToPpt(folder, "deck300.pptx");
}

inline std::string sheetName(int index) {
    return "Sheet" + std::to_string(index);
}

// A workbook of `count` worksheets, Sheet1, Sheet2, ..., each a copy of the one worksheet of the
// engine's fixture one-sheet.xlsx (two blocks of 13 x 4 cells), deflated as office suites
// write it.
inline void makeWorkbook(const fs::path& target, int count) {
    namespace package = office::package;
    const fs::path fixture =
        fs::path(TABULON_SOURCE_DIR) / "tests" / "fixtures" / "engine" / "one-sheet.xlsx";
    auto book = package::Package::openFile(fixture.string(), "workbook");
    const std::string workbookPart = "xl/workbook.xml";
    auto rels = book.relationships(workbookPart);
    const std::string sheet1 =
        package::resolveTarget(workbookPart, rels.findByType("/worksheet")->target);
    auto sheets = book.xml(workbookPart).document_element().child("sheets");
    const std::string relationships =
        "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    for (int k = 2; k <= count; ++k) {
        const std::string sheetPart = book.freePartName("xl/worksheets/sheet#.xml");
        book.write(sheetPart, book.read(sheet1));
        book.setContentType(sheetPart,
                            "application/vnd.openxmlformats-officedocument.spreadsheetml."
                            "worksheet+xml");
        const std::string id = rels.add(relationships + "/worksheet",
                                        package::relativeTarget(workbookPart, sheetPart));
        auto sheet = sheets.append_child("sheet");
        sheet.append_attribute("xmlns:r") = relationships.c_str();
        sheet.append_attribute("name") = sheetName(k).c_str();
        sheet.append_attribute("sheetId") = k;
        sheet.append_attribute("r:id") = id.c_str();
    }
    book.markDirty(workbookPart);
    book.setRelationships(workbookPart, rels);
    book.saveFile(target.string());
    deflateEveryEntry(target);
}

// A field of /proc/self/status in MiB ("VmHWM" is the peak resident memory so far).
inline double statusMb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stod(line.substr(field.size() + 1)) / 1024.0;
        }
    }
    return 0;
}

// The files of one conversion run.
struct Conversion {
    fs::path workbook;
    fs::path templ;
    fs::path output;
};

// Converts as tabulon-convert does, once per iteration, and skips with an error unless all
// `slides` slides were filled. Counts peak_rss_mb, the process's peak resident memory; run_mb,
// that peak less the resident memory before the first run; and output_ratio, the output's size
// against the template's. Returns the last run's statistics.
inline MDL_PptReport::RunStatistics convertEachIteration(benchmark::State& state,
                                                         const Conversion& run, int slides) {
    const double baselineMb = statusMb("VmRSS");
    MDL_PptReport::RunStatistics statistics;
    for (auto _ : state) {
        MDL_PptReport::ConvertReport(run.workbook.string(), run.templ.string(), run.output.string(),
                                     &statistics);
    }
    if (statistics.slides != slides) {
        state.SkipWithError("not every slide was filled");
    }
    const double peakMb = statusMb("VmHWM");
    state.counters["peak_rss_mb"] = peakMb;
    state.counters["run_mb"] = peakMb - baselineMb;
    state.counters["output_ratio"] = static_cast<double>(fs::file_size(run.output)) /
                                     static_cast<double>(fs::file_size(run.templ));
    return statistics;
}

}  // namespace bench
