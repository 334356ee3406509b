// An embedded workbook object on a slide written with other prefixes (pml:, drw:, rel:, and vml:
// and off: in its legacy drawing): filling it repoints every picture of the object, as with the
// usual prefixes, and the saved file stays well-formed and valid.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "graph_support.h"
#include "office/excel.h"
#include "office/package/package.h"
#include "office/powerpoint.h"
#include "ppt_test_support.h"

namespace {

namespace ox = office::package;
namespace xns = office::package::ns;

std::string replacedAll(std::string text, const std::map<std::string, std::string>& renames) {
    for (const auto& [from, to] : renames) {
        for (auto at = text.find(from); at != std::string::npos;
             at = text.find(from, at + to.size())) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

// The prefixes p, a and r of a slide, and v and o of a legacy drawing, renamed. The parts of the
// deck used here spell them only in these forms.
std::map<std::string, std::string> renames(const std::string& from, const std::string& to) {
    return {{"<" + from + ":", "<" + to + ":"},
            {"</" + from + ":", "</" + to + ":"},
            {" " + from + ":", " " + to + ":"},
            {"xmlns:" + from + "=", "xmlns:" + to + "="}};
}

std::string prefixedDeck(const std::string& source, const ppt_test::fs::path& folder) {
    std::map<std::string, std::optional<std::string>> parts;
    std::string slide = ppt_test::zipEntry(source, "ppt/slides/slide1.xml").value_or("");
    for (auto [from, to] : {std::pair{"p", "pml"}, {"a", "drw"}, {"r", "rel"}}) {
        slide = replacedAll(slide, renames(from, to));
    }
    parts["ppt/slides/slide1.xml"] = slide;
    std::string drawing = ppt_test::zipEntry(source, "ppt/drawings/vmlDrawing1.vml").value_or("");
    for (auto [from, to] : {std::pair{"v", "vml"}, {"o", "off"}}) {
        drawing = replacedAll(drawing, renames(from, to));
    }
    parts["ppt/drawings/vmlDrawing1.vml"] = drawing;
    const auto path = folder / "prefixed.pptx";
    ppt_test::rewriteZip(source, path, parts);
    return path.string();
}

TEST(EmbedPrefixes, FillingRepointsEveryPictureOfAPrefixedSlide) {
    const std::string source =
        graph_test::realworld("pptx-ole/python-pptx__shp-access-ole-object.pptx");
    if (!ppt_test::fs::exists(source)) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    const auto folder = ppt_test::scratch();
    const std::string input = prefixedDeck(source, folder);
    const std::string saved = (folder / "filled.pptx").string();
    {
        auto app = office::ppt::Application::Create();
        auto deck = app->Presentations()->Open(input);
        auto object = deck->Slides()->Item(1)->Shapes()->Item(1)->OLEFormat()->Object();
        auto book = office::As<office::excel::Workbook>(object);
        auto sheet = book->Worksheets()->Item(1);
        sheet->Cells(1, 1)->SetValue(office::Value::text(std::string("Region\x01")));
        sheet->Cells(2, 1)->SetValue(office::Value::number(42));
        book->Close();
        deck->SaveAs(saved);
    }
    auto package = ox::Package::openFile(saved, "presentation");
    const std::string slidePart = "ppt/slides/slide1.xml";
    const auto rels = package.relationships(slidePart);
    auto& slide = package.xml(slidePart);
    int blips = 0;
    for (pugi::xml_node blip : ox::descendants(slide, xns::kDrawing, "blip")) {
        ++blips;
        EXPECT_STREQ(blip.name(), "drw:blip");
        const auto* rel = rels.find(ox::attribute(blip, xns::kRelationships, "embed").value());
        ASSERT_NE(rel, nullptr);
        EXPECT_TRUE(rel->target.ends_with(".png")) << rel->target;
    }
    EXPECT_EQ(blips, 1);
    const std::string drawingPart = "ppt/drawings/vmlDrawing1.vml";
    const auto drawingRels = package.relationships(drawingPart);
    int pictures = 0;
    for (pugi::xml_node data : ox::descendants(package.xml(drawingPart), xns::kVml, "imagedata")) {
        ++pictures;
        const auto* rel = drawingRels.find(ox::attribute(data, xns::kOfficeVml, "relid").value());
        ASSERT_NE(rel, nullptr);
        EXPECT_TRUE(rel->target.ends_with(".png")) << rel->target;
    }
    EXPECT_EQ(pictures, 1);
    EXPECT_FALSE(package.has("ppt/media/image1.emf"));  // the old preview went
    if (ppt_test::validatorPresent()) {
        const auto verdict = ppt_test::validateAgainst(saved, input);
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }
}

}  // namespace
