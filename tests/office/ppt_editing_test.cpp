// Changing presentations: slide names, shape names and tags, saved and read back by us, by an
// independent reader and by the package validator.

#include <gtest/gtest.h>

#include "office/package/package.h"
#include "ppt_test_support.h"
#include "support/office_error.h"

namespace {

using office::ErrorCode;
using namespace office::ppt;
using ppt_test::fixture;

constexpr const char* kTagsType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/tags";

struct Session {
    std::shared_ptr<Application> app = Application::Create();
    std::shared_ptr<Presentation> presentation;
    explicit Session(const std::string& path) : presentation(app->Presentations()->Open(path)) {}
    std::shared_ptr<Slide> slide(int index) { return presentation->Slides()->Item(index); }
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void expectValidAgainst(const std::string& saved, const std::string& original) {
    if (!ppt_test::validatorPresent()) {
        return;
    }
    auto result = ppt_test::validateAgainst(saved, original);
    EXPECT_EQ(result.status, 0) << result.output;
}

TEST(PptEditing, RenamesAndTagsReadBackAndAnIndependentReaderSeesThem) {
    auto folder = ppt_test::scratch();
    std::string saved = (folder / "edited.pptx").string();
    {
        Session deck(fixture("three_charts.pptx"));
        deck.slide(1)->SetName("销售 & <Sales>");
        deck.slide(3)->SetName("Pie");
        deck.slide(2)->Shapes()->Item(2)->SetName("Line chart \"main\"");
        auto tags = deck.slide(1)->Tags();
        tags->Add("Name", "Sales bar");
        tags->Add("type", "Chart");
        deck.slide(3)->Tags()->Add("Name", "Sales pie");
        deck.presentation->SaveAs(saved);
    }
    Session reopened(saved);
    EXPECT_EQ(reopened.slide(1)->Name(), "销售 & <Sales>");
    EXPECT_EQ(reopened.slide(2)->Name(), "Slide 2");
    EXPECT_EQ(reopened.slide(3)->Name(), "Pie");
    EXPECT_EQ(reopened.slide(2)->Shapes()->Item(2)->Name(), "Line chart \"main\"");
    EXPECT_EQ(reopened.slide(1)->Tags()->Item("NAME"), "Sales bar");
    EXPECT_EQ(reopened.slide(1)->Tags()->Item("Type"), "Chart");
    EXPECT_EQ(reopened.slide(3)->Tags()->Item("name"), "Sales pie");

    auto independent = ppt_test::independentDump(saved);
    ASSERT_EQ(independent.status, 0) << independent.output;
    EXPECT_TRUE(contains(independent.output, "slide\t256\t销售 & <Sales>\n")) << independent.output;
    EXPECT_TRUE(contains(independent.output, "tag\tNAME\tSales bar\ntag\tTYPE\tChart\n"));
    EXPECT_TRUE(contains(independent.output, "shape\t3\tLine chart \"main\"\t"));
    EXPECT_EQ(ppt_test::ourDump(*reopened.presentation), independent.output);
    expectValidAgainst(saved, fixture("three_charts.pptx"));
}

TEST(PptEditing, OnlyTheEditedPartsChange) {
    auto folder = ppt_test::scratch();
    std::string saved = (folder / "renamed.pptx").string();
    Session deck(fixture("mixed.pptx"));
    deck.slide(2)->SetName("Figures");
    deck.slide(1)->Shapes()->Count();  // read, not changed
    deck.presentation->SaveAs(saved);
    auto differences = ppt_test::differingParts(fixture("mixed.pptx"), saved);
    EXPECT_EQ(differences.output, "differs: ppt/slides/slide2.xml\n");
}

TEST(PptEditing, TagNamesAreStoredUpperCaseAndMatchedWithoutCase) {
    Session deck(fixture("three_charts.pptx"));
    auto tags = deck.slide(2)->Tags();
    EXPECT_EQ(tags->Count(), 0);
    EXPECT_EQ(tags->Item("Name"), "");
    tags->Add("name", "first");
    tags->Add("NaMe", "second");  // replaces
    tags->Add("ärger", "umlaut");
    ASSERT_EQ(tags->Count(), 2);
    EXPECT_EQ(tags->Name(1), "NAME");
    EXPECT_EQ(tags->Value(1), "second");
    EXPECT_EQ(tags->Name(2), "ÄRGER");
    EXPECT_EQ(tags->Item("Ärger"), "umlaut");
    tags->Delete("nAmE");
    tags->Delete("absent");
    ASSERT_EQ(tags->Count(), 1);
    EXPECT_EQ(tags->Name(1), "ÄRGER");
    EXPECT_OFFICE_ERROR(tags->Add("", "x"), ErrorCode::InvalidArgument,
                        "three_charts.pptx: ppt/slides/slide2.xml: a tag needs a name");
}

TEST(PptEditing, DeletingTheLastTagLeavesNothingDangling) {
    auto folder = ppt_test::scratch();
    std::string tagged = (folder / "tagged.pptx").string();
    std::string cleared = (folder / "cleared.pptx").string();
    {
        Session deck(fixture("three_charts.pptx"));
        deck.slide(1)->Tags()->Add("Name", "Sales bar");
        deck.presentation->SaveAs(tagged);
    }
    {
        auto package = office::package::Package::openFile(tagged, "presentation");
        auto rels = package.relationships("ppt/slides/slide1.xml");
        const auto* rel = rels.findByType("/tags");
        ASSERT_NE(rel, nullptr);
        std::string part = office::package::resolveTarget("ppt/slides/slide1.xml", rel->target);
        EXPECT_EQ(part, "ppt/tags/tag1.xml");
        EXPECT_EQ(package.contentType(part),
                  "application/vnd.openxmlformats-officedocument.presentationml.tags+xml");
        std::string slide = package.read("ppt/slides/slide1.xml");
        // The schema puts the list right after the shape tree.
        EXPECT_TRUE(contains(slide, "</p:spTree><p:custDataLst><p:tags r:id=\"" + rel->id +
                                        "\"/></p:custDataLst></p:cSld>"))
            << slide;
    }
    expectValidAgainst(tagged, fixture("three_charts.pptx"));
    {
        Session deck(tagged);
        deck.slide(1)->Tags()->Delete("NAME");
        EXPECT_EQ(deck.slide(1)->Tags()->Count(), 0);
        deck.presentation->SaveAs(cleared);
    }
    auto package = office::package::Package::openFile(cleared, "presentation");
    EXPECT_FALSE(package.has("ppt/tags/tag1.xml"));
    EXPECT_TRUE(package.relationships("ppt/slides/slide1.xml").allByType("/tags").empty());
    EXPECT_FALSE(contains(package.read("[Content_Types].xml"), "tags+xml"));
    EXPECT_FALSE(contains(package.read("ppt/slides/slide1.xml"), "custDataLst"));
    // A reader sees the slide as it was before the tag came and went.
    EXPECT_EQ(ppt_test::independentDump(cleared).output,
              ppt_test::independentDump(fixture("three_charts.pptx")).output);
    expectValidAgainst(cleared, fixture("three_charts.pptx"));
}

TEST(PptEditing, ATagPartThatAnotherSlideSharesIsKept) {
    auto folder = ppt_test::scratch();
    std::string tagged = (folder / "tagged.pptx").string();
    {
        Session deck(fixture("three_charts.pptx"));
        deck.slide(1)->Tags()->Add("Name", "shared");
        deck.presentation->SaveAs(tagged);
    }
    // Let slide 2 refer to slide 1's tag part too.
    auto slide = *ppt_test::zipEntry(tagged, "ppt/slides/slide2.xml");
    slide.insert(slide.find("</p:spTree>") + 11,
                 "<p:custDataLst><p:tags r:id=\"rId90\"/></p:custDataLst>");
    auto rels = *ppt_test::zipEntry(tagged, "ppt/slides/_rels/slide2.xml.rels");
    rels.insert(rels.find("</Relationships>"), std::string("<Relationship Id=\"rId90\" Type=\"") +
                                                   kTagsType + "\" Target=\"../tags/tag1.xml\"/>");
    std::string shared = (folder / "shared.pptx").string();
    ppt_test::rewriteZip(
        tagged, shared,
        {{"ppt/slides/slide2.xml", slide}, {"ppt/slides/_rels/slide2.xml.rels", rels}});

    Session deck(shared);
    ASSERT_EQ(deck.slide(2)->Tags()->Item("NAME"), "shared");
    deck.slide(1)->Tags()->Delete("name");
    EXPECT_EQ(deck.slide(1)->Tags()->Count(), 0);
    EXPECT_EQ(deck.slide(2)->Tags()->Item("NAME"), "shared");
    std::string saved = (folder / "saved.pptx").string();
    deck.presentation->SaveAs(saved);
    expectValidAgainst(saved, shared);
}

TEST(PptEditing, TagsWrittenByOtherProgramsAreReadAndKept) {
    std::string path =
        std::string(TABULON_REALWORLD_DIR) + "/pptx-tags-names/shapecrawler__014_slidetags.pptx";
    if (!ppt_test::fs::exists(path)) {
        GTEST_SKIP() << "real-world corpus absent: " << path;
    }
    auto folder = ppt_test::scratch();
    std::string saved = (folder / "more_tags.pptx").string();
    int before = 0;
    int slideWithTags = 0;
    {
        Session deck(path);
        auto slides = deck.presentation->Slides();
        for (int i = 1; i <= slides->Count() && !slideWithTags; ++i) {
            if (slides->Item(i)->Tags()->Count() > 0) {
                slideWithTags = i;
            }
        }
        ASSERT_NE(slideWithTags, 0) << "the file was expected to hold slide tags";
        auto tags = deck.slide(slideWithTags)->Tags();
        before = tags->Count();
        std::string first = tags->Name(1);
        EXPECT_EQ(tags->Item(first), tags->Value(1));
        tags->Add("Name", "Chart 1");
        deck.presentation->SaveAs(saved);
    }
    Session reopened(saved);
    auto tags = reopened.slide(slideWithTags)->Tags();
    EXPECT_EQ(tags->Count(), before + 1);
    EXPECT_EQ(tags->Item("name"), "Chart 1");
    EXPECT_EQ(ppt_test::ourDump(*reopened.presentation), ppt_test::independentDump(saved).output);
    expectValidAgainst(saved, path);
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

TEST(PptEditing, RenamingAnOleObjectKeepsItsProgID) {
    std::string path =
        std::string(TABULON_REALWORLD_DIR) + "/pptx-ole/python-pptx__shp-access-ole-object.pptx";
    if (!ppt_test::fs::exists(path)) {
        GTEST_SKIP() << "real-world corpus absent: " << path;
    }
    auto folder = ppt_test::scratch();
    std::string saved = (folder / "renamed.pptx").string();
    {
        Session deck(path);
        auto shapes = deck.slide(1)->Shapes();
        int renamed = 0;
        for (int i = 1; i <= shapes->Count(); ++i) {
            try {
                if (shapes->Item(i)->OLEFormat()->ProgID() == "Excel.Sheet.12") {
                    shapes->Item(i)->SetName("Workbook " + std::to_string(++renamed));
                }
            } catch (const office::Error& error) {
                EXPECT_EQ(error.code(), ErrorCode::TypeMismatch);
            }
        }
        ASSERT_GT(renamed, 0);
        deck.presentation->SaveAs(saved);
    }
    auto dump = ppt_test::independentDump(saved);
    EXPECT_TRUE(contains(dump.output, "\tWorkbook 1\tExcel.Sheet.12\n")) << dump.output;
    expectValidAgainst(saved, path);
}

TEST(PptEditing, RenamingAnAlternateContentShapeRenamesChoiceAndFallback) {
    std::string path = std::string(TABULON_REALWORLD_DIR) +
                       "/pptx-charts/openxmlsdk__Of16-01_chartex_waterfall.pptx";
    if (!ppt_test::fs::exists(path)) {
        GTEST_SKIP() << "real-world corpus absent: " << path;
    }
    auto folder = ppt_test::scratch();
    std::string saved = (folder / "renamed.pptx").string();
    {
        Session deck(path);
        auto chart = deck.slide(1)->Shapes()->Item(1);
        EXPECT_EQ(chart->OLEFormat()->ProgID(), kChartServerProgID);
        EXPECT_EQ(chart->Id(), 7);
        chart->SetName("Waterfall");
        EXPECT_EQ(chart->Name(), "Waterfall");
        deck.presentation->SaveAs(saved);
    }
    auto slide = ppt_test::zipEntry(saved, "ppt/slides/slide1.xml");
    ASSERT_TRUE(slide);
    EXPECT_EQ(occurrences(*slide, "<p:cNvPr id=\"7\" name=\"Waterfall\"/>"), 2u) << *slide;
    expectValidAgainst(saved, path);
}

TEST(PptEditing, CharactersThatXmlCannotHoldAreDropped) {
    auto folder = ppt_test::scratch();
    std::string saved = (folder / "control.pptx").string();
    {
        Session deck(fixture("mixed.pptx"));
        deck.slide(1)->SetName(std::string("Q1\x01\x1f report\xff"));
        deck.slide(1)->Tags()->Add("Note", std::string("a\x02z"));
        deck.presentation->SaveAs(saved);
    }
    Session reopened(saved);
    EXPECT_EQ(reopened.slide(1)->Name(), "Q1 report");
    EXPECT_EQ(reopened.slide(1)->Tags()->Item("NOTE"), "az");
}

TEST(PptEditing, ClearingASlideNameGivesTheDefaultBack) {
    Session deck(fixture("mixed.pptx"));
    deck.slide(2)->SetName("");
    EXPECT_EQ(deck.slide(2)->Name(), "Slide257");
}

}  // namespace
