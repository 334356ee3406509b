// Fuzz target for the presentation reader: every input must open and read through, or fail with
// office::Error; nothing else may escape and nothing may crash.
//
// The first byte picks what the rest of the input is:
//   0  a whole .pptx file
//   1  ppt/slides/slide1.xml of the fixture deck
//   2  ppt/presentation.xml of the fixture deck
//   3  ppt/slides/_rels/slide1.xml.rels of the fixture deck
//   4  ppt/tags/tag1.xml, the tag part of the fixture deck's first slide
// so that the XML readers are reached without first guessing a valid zip.

#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "office/error.h"
#include "office/powerpoint.h"
#include "tests/support/zip_entries.h"

namespace {

namespace fs = std::filesystem;

const char* const kReplaced[] = {"ppt/slides/slide1.xml", "ppt/presentation.xml",
                                 "ppt/slides/_rels/slide1.xml.rels", "ppt/tags/tag1.xml"};

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
