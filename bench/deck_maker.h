#pragma once

// Makes the benchmarks' large presentation: the first slide and chart of the fixture deck
// tests/fixtures/pptx/three_charts.pptx, repeated, each chart with its own part and embedded
// workbook.

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

// A folder of this process's own in the temporary folder, for a benchmark's inputs and outputs.
inline fs::path benchFolder() {
    const fs::path folder =
        fs::temp_directory_path() / ("tabulon-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    return folder;
}

// Writes folder/deck300.pptx of `slides` slides and LibreOffice's .ppt of it, folder/deck300.ppt
// (soffice must be installed). False, saying so, when the .ppt could not be made.
inline bool makePptDeck(const fs::path& folder, int slides) {
    generateDeck(folder / "deck300.pptx", slides);
    const std::string convert = "cd '" + folder.string() +
                                "' && soffice --headless --convert-to ppt deck300.pptx >/dev/null";
    if (std::system(convert.c_str()) != 0 || !fs::exists(folder / "deck300.ppt")) {
        std::fprintf(stderr, "soffice could not make the .ppt deck; is LibreOffice installed?\n");
        return false;
    }
    return true;
}

}  // namespace bench
