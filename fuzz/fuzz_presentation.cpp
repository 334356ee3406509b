// Fuzz target for the presentation reader: every input must open and read through, or fail with
// office::Error; nothing else may escape and nothing may crash.
//
// The first byte picks what the rest of the input is:
//   0  a whole .pptx file
//   1  ppt/slides/slide1.xml of the fixture deck
//   2  ppt/presentation.xml of the fixture deck
//   3  ppt/slides/_rels/slide1.xml.rels of the fixture deck
//   4  ppt/tags/tag1.xml, the tag part of the fixture deck's first slide
// so that the XML readers are reached without first guessing a valid zip. The fixture's first
// slide is given a native table with merged cells, which the walk reads, grows and shrinks.

#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "office/error.h"
#include "office/powerpoint.h"
#include "tests/support/zip_entries.h"

namespace {

namespace fs = std::filesystem;

const char* const kReplaced[] = {"ppt/slides/slide1.xml", "ppt/presentation.xml",
                                 "ppt/slides/_rels/slide1.xml.rels", "ppt/tags/tag1.xml"};

// A 2 x 2 table whose first row is one merged cell, with a row id.
constexpr const char* kTableFrame =
    "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id=\"90\" name=\"Fuzz table\"/>"
    "<p:cNvGraphicFramePr/><p:nvPr/></p:nvGraphicFramePr><p:xfrm><a:off x=\"0\" y=\"0\"/>"
    "<a:ext cx=\"2000\" cy=\"800\"/></p:xfrm><a:graphic><a:graphicData "
    "uri=\"http://schemas.openxmlformats.org/drawingml/2006/table\"><a:tbl><a:tblPr/>"
    "<a:tblGrid><a:gridCol w=\"1000\"/><a:gridCol w=\"1000\"/></a:tblGrid>"
    "<a:tr h=\"400\"><a:tc gridSpan=\"2\"><a:txBody><a:bodyPr/><a:p><a:r><a:rPr b=\"1\"/>"
    "<a:t>Head</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc><a:tc hMerge=\"1\"><a:txBody>"
    "<a:bodyPr/><a:p/></a:txBody><a:tcPr/></a:tc><a:extLst><a:ext uri=\"{0D108BD9-81ED-4DB2-"
    "BD59-A6C34878D82A}\"><a16:rowId xmlns:a16=\"http://schemas.microsoft.com/office/drawing/"
    "2014/main\" val=\"7\"/></a:ext></a:extLst></a:tr><a:tr h=\"400\"><a:tc><a:txBody>"
    "<a:bodyPr/><a:p><a:r><a:t>1</a:t></a:r></a:p></a:txBody><a:tcPr/></a:tc><a:tc><a:txBody>"
    "<a:bodyPr/><a:p><a:endParaRPr/></a:p></a:txBody><a:tcPr/></a:tc></a:tr></a:tbl>"
    "</a:graphicData></a:graphic></p:graphicFrame>";

// Reads a table whole, then fills it larger and smaller.
void walkTable(office::ppt::Table& table) {
    for (int r = 1; r <= table.RowCount(); ++r) {
        for (int c = 1; c <= table.ColumnCount(); ++c) {
            table.CellText(r, c);
        }
    }
    for (auto [rows, columns] : {std::pair{4, 3}, std::pair{1, 1}, std::pair{2, 2}}) {
        try {
            table.Fill(office::ppt::CellTexts(rows, std::vector<std::string>(columns, "x\ny")));
        } catch (const office::Error&) {
        }
        try {
            table.Resize(rows + 1, columns);
        } catch (const office::Error&) {
        }
    }
}

std::map<std::string, std::string> loadFixture() {
    auto entries = support::readZipEntries(std::string(TABULON_SOURCE_DIR) +
                                           "/tests/fixtures/pptx/three_charts.pptx");
    // Give the first slide a tag part, so that mode 4 reaches the tag reader.
    std::string& slide = entries["ppt/slides/slide1.xml"];
    slide.insert(slide.find("</p:spTree>") + 11,
                 "<p:custDataLst><p:tags r:id=\"rId90\"/></p:custDataLst>");
    std::string& rels = entries["ppt/slides/_rels/slide1.xml.rels"];
    rels.insert(rels.find("</Relationships>"),
                "<Relationship Id=\"rId90\" Type=\"http://schemas.openxmlformats.org/"
                "officeDocument/2006/relationships/tags\" Target=\"../tags/tag1.xml\"/>");
    slide.insert(slide.find("</p:spTree>"), kTableFrame);
    std::string& types = entries["[Content_Types].xml"];
    types.insert(types.find("</Types>"),
                 "<Override PartName=\"/ppt/tags/tag1.xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.presentationml.tags+xml\"/>");
    entries["ppt/tags/tag1.xml"] =
        "<p:tagLst xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\">"
        "<p:tag name=\"NAME\" val=\"Sales bar\"/></p:tagLst>";
    return entries;
}

void writeZip(const std::string& path, const std::map<std::string, std::string>& entries) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        zip_int64_t index = zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    zip_close(zip);
}

// Reads everything the object model offers, and makes the edits it allows, in memory.
void walk(office::ppt::Presentation& presentation) {
    auto slides = presentation.Slides();
    for (int s = 1; s <= slides->Count(); ++s) {
        auto slide = slides->Item(s);
        try {
            slide->Name();
            slide->SlideID();
            auto tags = slide->Tags();
            for (int t = 1; t <= tags->Count(); ++t) {
                tags->Item(tags->Name(t));
                tags->Value(t);
            }
            tags->Add("fuzz", "value");
            tags->Delete("FUZZ");
            auto shapes = slide->Shapes();
            for (int i = 1; i <= shapes->Count(); ++i) {
                auto shape = shapes->Item(i);
                shape->Name();
                shape->Id();
                try {
                    shape->OLEFormat()->ProgID();
                } catch (const office::Error&) {
                }
                if (shape->HasTable()) {
                    try {
                        walkTable(*shape->Table());
                    } catch (const office::Error&) {
                    }
                }
                shape->SetName(shape->Name() + "'");
            }
            slide->SetName(slide->Name() + "'");
        } catch (const office::Error&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::map<std::string, std::string> fixture = loadFixture();
    static const std::string path =
        (fs::temp_directory_path() / ("fuzz_presentation_" + std::to_string(::getpid()) + ".pptx"))
            .string();
    if (size == 0) {
        return 0;
    }
    std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    unsigned mode = data[0] % 5;
    if (mode == 0) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << rest;
    } else {
        auto entries = fixture;
        entries[kReplaced[mode - 1]] = rest;
        writeZip(path, entries);
    }
    auto app = office::ppt::Application::Create();
    try {
        auto presentation = app->Presentations()->Open(path);
        walk(*presentation);
    } catch (const office::Error&) {
    }
    app->Quit();
    return 0;
}
