// The embedded spreadsheet object: filled through the workbook it opens as, written back into
// the presentation with a grown visible area and a redrawn preview; the compound-file wrapper;
// the objects that cannot be filled.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

#include <QImage>

#include "graph_support.h"
#include "office/compound/compound_file.h"
#include "office/excel.h"
#include "office/excel/embedded.h"
#include "office/graph/cells.h"
#include "support/office_error.h"

#ifdef __SANITIZE_ADDRESS__
// Drawing a preview's text loads the system fonts through fontconfig, whose process-wide caches
// are never freed; the leak checker is told that they are not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif

namespace {

using namespace graph_test;
namespace gd = office::graph::detail;
using office::compound::Bytes;

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The streams of a compound file's root storage by name.
std::map<std::string, Bytes> rootStreams(const Bytes& bytes) {
    const auto file = office::compound::File::openBytes(bytes, "object.bin");
    std::map<std::string, Bytes> streams;
    for (const auto& entry : file.entries()) {
        if (!entry.storage && entry.path.find('/') == std::string::npos) {
            streams[entry.path] = file.readStream(entry.path);
        }
    }
    return streams;
}

TEST(EmbedCompoundFile, KeepsEveryStreamThroughARoundTrip) {
    std::map<std::string, Bytes> streams;
    streams["\1Ole"] = Bytes(20, 1);
    streams["\1CompObj"] = bytesOf("compobj");
    streams["Package"] = Bytes(70000);
    for (std::size_t i = 0; i < streams["Package"].size(); ++i) {
        streams["Package"][i] = static_cast<std::uint8_t>(i * 7);
    }
    streams["Small"] = Bytes(4095, 9);  // one byte below the mini-stream limit
    streams["Empty"] = {};
    const Bytes file = office::compound::create(streams);
    ASSERT_TRUE(office::compound::isCompoundFile(file));
    EXPECT_EQ(rootStreams(file), streams);
}

TEST(EmbedCompoundFile, RefusesBrokenFiles) {
    Bytes file = office::compound::create({{"Package", Bytes(5000, 3)}});
    EXPECT_OFFICE_ERROR(rootStreams(Bytes(file.begin(), file.begin() + 600)),
                        office::ErrorCode::CorruptPart,
                        "object.bin: FAT sector 11 lies beyond the end of the file");
    file[0x30] = 0x7F;  // the directory starts beyond the end
    EXPECT_OFFICE_ERROR(rootStreams(file), office::ErrorCode::CorruptPart,
                        "object.bin: the directory chain leaves the file at sector 127");
    EXPECT_OFFICE_ERROR(rootStreams(bytesOf("PK not a compound file")),
                        office::ErrorCode::NotADocument, "object.bin: not a compound file");
}

// A rewritten object keeps the class id and every stream of the one it came from, except the
// package it was filled with and its cached pictures, which showed the old table.
void expectWrapperKept(const std::string& deck, const std::string& part, const Bytes& saved) {
    const std::string raw = openDocument(deck)->package.read(part);
    const auto source = office::compound::File::openBytes(Bytes(raw.begin(), raw.end()), "before");
    const auto after = office::compound::File::openBytes(saved, "after");
    EXPECT_EQ(after.classId(), source.classId());
    EXPECT_NE(after.classId(), office::compound::ClassId{});
    const auto pictures = source.cachedPictures();
    for (const auto& entry : source.entries()) {
        if (pictures.contains(entry.path)) {
            EXPECT_FALSE(after.hasStream(entry.path));
        } else if (entry.storage) {
            EXPECT_TRUE(after.hasStorage(entry.path)) << entry.path;
        } else if (entry.path != "Package") {
            EXPECT_EQ(after.readStream(entry.path), source.readStream(entry.path)) << entry.path;
        }
    }
    EXPECT_EQ(after.entries().size(), source.entries().size() - pictures.size());
}

// Fills the deck's first embedded workbook with a block larger than its visible area and checks
// what was saved: cells, oleSize, preview pictures, the validator's verdict.
void fillAndCheck(const std::string& deck) {
    auto document = openDocument(deck);
    const auto site = oleSite(document);
    ASSERT_TRUE(site);
    auto book = office::As<office::excel::Workbook>(office::detail::openEmbeddedWorkbook(*site));
    auto sheet = book->Worksheets()->Item(1);
    // A block wider and taller than the object's visible area.
    for (int r = 1; r <= 6; ++r) {
        for (int c = 1; c <= 5; ++c) {
            sheet->Cells(r, c)->SetValue(office::Value::number(r * 100 + c));
        }
    }
    sheet->Cells(1, 1)->SetValue(office::Value::text("地区"));
    book->Close();

    const fs::path out = scratch() / ("filled_" + fs::path(deck).filename().string());
    document->package.saveFile(out.string());
    auto reopened = openDocument(out.string());
    auto& package = reopened->package;
    std::string raw = package.read(site->objectPart);
    if (office::compound::isCompoundFile(Bytes(raw.begin(), raw.end()))) {
        expectWrapperKept(deck, site->objectPart, Bytes(raw.begin(), raw.end()));
        const auto streams = rootStreams(Bytes(raw.begin(), raw.end()));
        ASSERT_TRUE(streams.contains("Package"));
        raw.assign(streams.at("Package").begin(), streams.at("Package").end());
    }
    auto cells = openSheet(Bytes(raw.begin(), raw.end()), "embedded", "");
    const auto values = cells.read({1, 1, 10, 10});
    EXPECT_EQ(values.at({1, 1}).value.asText(), "地区");
    EXPECT_EQ(values.at({6, 5}).value.asNumber(), 605);

    // The visible area covers the block.
    auto workbook =
        office::package::Package::openBytes(Bytes(raw.begin(), raw.end()), "e", "workbook");
    const std::string oleSize = workbook.xml("xl/workbook.xml")
                                    .document_element()
                                    .child("oleSize")
                                    .attribute("ref")
                                    .value();
    const auto area = gd::parseRef(oleSize);
    ASSERT_TRUE(area) << oleSize;
    EXPECT_GE(area->area.bottom, 6);
    EXPECT_GE(area->area.right, 5);

    // Every picture of the frame shows a new PNG that is as wide as a five-column table.
    const auto rels = package.relationships(site->slidePart);
    int blips = 0;
    for (pugi::xpath_node blip : package.xml(site->slidePart).select_nodes("//p:oleObj//a:blip")) {
        ++blips;
        const auto* rel = rels.find(blip.node().attribute("r:embed").value());
        ASSERT_NE(rel, nullptr);
        const std::string png =
            package.read(office::package::resolveTarget(site->slidePart, rel->target));
        QImage image;
        ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(png.data()),
                                       static_cast<int>(png.size()), "PNG"));
        EXPECT_GT(image.width(), 5 * 40);
        EXPECT_GT(image.height(), 6 * 10);
    }
    EXPECT_GE(blips, 1);
    // The legacy drawing that Office reads the picture from points at the new picture too.
    for (const auto* drawingRel : rels.allByType("/vmlDrawing")) {
        const std::string part =
            office::package::resolveTarget(site->slidePart, drawingRel->target);
        const auto drawingRels = package.relationships(part);
        for (pugi::xpath_node data : package.xml(part).select_nodes("//v:imagedata")) {
            const auto* rel = drawingRels.find(data.node().attribute("o:relid").value());
            ASSERT_NE(rel, nullptr);
            EXPECT_TRUE(rel->target.ends_with(".png")) << rel->target;
        }
    }
    if (validatorPresent()) {
        const auto verdict = validateAgainst(out.string(), deck);
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }
}

TEST(EmbedObject, FillsAWorkbookPartAndRedrawsItsPreview) {
    const std::string deck = realworld("pptx-ole/python-pptx__shp-access-ole-object.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    fillAndCheck(deck);
}

TEST(EmbedObject, FillsAWorkbookWrappedInACompoundFile) {
    const std::string deck = realworld("pptx-ole/tika__testPPT_oleWorkbook.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    fillAndCheck(deck);
    // The wrapper names the embedded workbook's class, and it holds cached pictures to drop.
    auto document = openDocument(deck);
    const std::string raw = document->package.read(oleSite(document)->objectPart);
    const auto file = office::compound::File::openBytes(Bytes(raw.begin(), raw.end()), "object");
    EXPECT_EQ(office::compound::classIdText(file.classId()),
              "{00020830-0000-0000-C000-000000000046}");
    EXPECT_EQ(file.cachedPictures().size(), 2u);
}

// Every part that some internal relationship of the package points at, in lower case.
std::set<std::string> relationshipTargets(const office::package::Package& package) {
    std::set<std::string> targets;
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
                std::string target = office::package::resolveTarget(source, rel.target);
                std::transform(target.begin(), target.end(), target.begin(),
                               [](unsigned char c) { return std::tolower(c); });
                targets.insert(target);
            }
        }
    }
    return targets;
}

// The image parts that no relationship points at.
std::vector<std::string> orphanedImages(office::package::Package& package) {
    const std::set<std::string> targets = relationshipTargets(package);
    std::vector<std::string> orphans;
    for (const std::string& name : package.partNames()) {
        std::string key = name;
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (package.contentType(name).starts_with("image/") && !targets.contains(key)) {
            orphans.push_back(name);
        }
    }
    return orphans;
}

void fillCell(const ObjectSite& site, double value) {
    auto book = office::As<office::excel::Workbook>(office::detail::openEmbeddedWorkbook(site));
    book->Worksheets()->Item(1)->Cells(1, 1)->SetValue(office::Value::number(value));
    book->Close();
}

// Each fill replaces the object's preview: the pictures it replaced leave the package with their
// relationships, and the saved file names no part that is gone.
TEST(EmbedObject, RemovesReplacedPreviewImages) {
    const fs::path folder = scratch();
    for (const char* name :
         {"python-pptx__shp-access-ole-object.pptx", "tika__testPPT_oleWorkbook.pptx"}) {
        SCOPED_TRACE(name);
        const std::string deck = realworld(std::string("pptx-ole/") + name);
        if (!fs::exists(deck)) {
            GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
        }
        auto document = openDocument(deck);
        auto& package = document->package;
        const auto site = oleSite(document);
        ASSERT_TRUE(site);
        ASSERT_TRUE(package.has("ppt/media/image1.emf"));
        fillCell(*site, 1);
        EXPECT_FALSE(package.has("ppt/media/image1.emf"));
        // The deck's media folder holds the object's picture only.
        const auto images = [&] {
            std::vector<std::string> found;
            for (const std::string& part : package.partNames()) {
                if (part.starts_with("ppt/media/")) {
                    found.push_back(part);
                }
            }
            return found;
        };
        const auto first = images();
        EXPECT_EQ(first.size(), 1u);
        fillCell(*site, 2);
        const auto second = images();
        EXPECT_EQ(second.size(), 1u);
        EXPECT_NE(first, second);
        EXPECT_EQ(orphanedImages(package), std::vector<std::string>{});

        const fs::path out = folder / name;
        package.saveFile(out.string());
        auto reopened = openDocument(out.string());
        EXPECT_EQ(orphanedImages(reopened->package), std::vector<std::string>{});
        const auto& types = reopened->package.xml("[Content_Types].xml").document_element();
        for (pugi::xml_node over : types.children("Override")) {
            const std::string part = std::string(over.attribute("PartName").value()).substr(1);
            EXPECT_TRUE(reopened->package.has(part)) << part;
        }
        if (validatorPresent()) {
            const auto verdict = validateAgainst(out.string(), deck);
            EXPECT_EQ(verdict.status, 0) << verdict.output;
        }
    }
}

// An old preview that another part still shows (here a layout) stays in the package.
TEST(EmbedObject, KeepsAReplacedPreviewThatIsStillShownElsewhere) {
    const std::string deck = realworld("pptx-ole/python-pptx__shp-access-ole-object.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    auto document = openDocument(deck);
    auto& package = document->package;
    const auto site = oleSite(document);
    ASSERT_TRUE(site);
    const std::string layout = "ppt/slideLayouts/slideLayout1.xml";
    auto rels = package.relationships(layout);
    rels.add("http://schemas.openxmlformats.org/officeDocument/2006/relationships/image",
             "../media/IMAGE1.emf");
    package.setRelationships(layout, rels);
    fillCell(*site, 1);
    EXPECT_TRUE(package.has("ppt/media/image1.emf"));
    EXPECT_EQ(orphanedImages(package), std::vector<std::string>{});
}

TEST(EmbedObject, RefusesObjectsThatHoldNoWorkbookPackage) {
    const std::string deck = realworld("pptx-ole/tika__testMSChart-govdocs-428996.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    auto document = openDocument(deck);
    auto site = oleSite(document);
    ASSERT_TRUE(site);
    const std::string shape =
        "tika__testMSChart-govdocs-428996.pptx: slide 1, shape \"Object 2\": ";
    // As a workbook, and as a chart of another chart server than Graph (Graph objects
    // themselves become native charts).
    EXPECT_OFFICE_ERROR(office::detail::openEmbeddedWorkbook(*site),
                        office::ErrorCode::NotSupported,
                        shape + "the object (MSGraph.Chart.8) is not a workbook");
    site->progId = "OtherGraph.Chart.1";
    EXPECT_OFFICE_ERROR(office::detail::openChartObject(*site), office::ErrorCode::NotSupported,
                        shape + "the chart is a legacy binary chart object (OtherGraph.Chart.1)");
    site->progId = "Excel.Sheet.8";
    EXPECT_OFFICE_ERROR(office::detail::openEmbeddedWorkbook(*site),
                        office::ErrorCode::NotSupported,
                        shape + "the object is a legacy binary workbook (Excel.Sheet.8)");
    site->progId = "Excel.Sheet.12";
    site->objectPart.clear();  // as a linked object
    EXPECT_OFFICE_ERROR(office::detail::openEmbeddedWorkbook(*site),
                        office::ErrorCode::NotSupported,
                        shape + "the object is linked to an outside file (Excel.Sheet.12)");
}

TEST(EmbedObject, GivesABranchWithoutADrawnShapeTheNewPicture) {
    const std::string deck = realworld("pptx-ole/python-pptx__shp-access-ole-object.pptx");
    if (!fs::exists(deck)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    auto document = openDocument(deck);
    const auto site = oleSite(document);
    ASSERT_TRUE(site);
    // The slide loses its legacy drawing: the choice branch names a shape nobody holds.
    auto rels = document->package.relationships(site->slidePart);
    for (const auto* rel : rels.allByType("/vmlDrawing")) {
        rels.remove(std::string(rel->id));
    }
    document->package.setRelationships(site->slidePart, rels);
    auto book = office::As<office::excel::Workbook>(office::detail::openEmbeddedWorkbook(*site));
    book->Worksheets()->Item(1)->Cells(1, 1)->SetValue(office::Value::number(7));
    book->Close();

    auto& slide = document->package.xml(site->slidePart);
    const auto choice = slide.select_node("//mc:Choice/p:oleObj").node();
    ASSERT_TRUE(choice);
    const std::string id = choice.select_node("p:pic//a:blip").node().attribute("r:embed").value();
    const auto after = document->package.relationships(site->slidePart);
    const auto* rel = after.find(id);
    ASSERT_NE(rel, nullptr) << id;
    EXPECT_TRUE(rel->target.ends_with(".png")) << rel->target;
}

}  // namespace
