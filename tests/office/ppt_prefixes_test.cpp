// Presentations whose parts bind the usual namespaces to other prefixes (ns0:, a default
// namespace, rel: for relationships), as some XML libraries write them: read, edited and saved
// like any other, with new elements under the part's own prefixes and every file well-formed.

#include <gtest/gtest.h>

#include "office/package/package.h"
#include "ppt_test_support.h"

namespace {

using namespace office::ppt;
using ppt_test::fixture;

struct Prefixes {
    std::string name;          // for the test's trace
    std::string presentation;  // the prefix of PresentationML; empty for a default namespace
    std::string relationships;
};

// The text with PresentationML and the relationships namespace moved to other prefixes. The
// fixture's parts use p: and r: throughout, so a textual rewrite is exact for them; it goes
// through placeholders so that the two prefixes may trade places.
std::string reprefixed(std::string text, const Prefixes& to) {
    auto replaceAll = [&](const std::string& from, const std::string& by) {
        for (auto at = text.find(from); at != std::string::npos;
             at = text.find(from, at + by.size())) {
            text.replace(at, from.size(), by);
        }
    };
    replaceAll("<p:", "<\x01");
    replaceAll("</p:", "</\x01");
    replaceAll("xmlns:p=", "\x03=");
    replaceAll(" r:", " \x02");
    replaceAll("xmlns:r=", "\x04=");
    replaceAll("\x01", to.presentation.empty() ? "" : to.presentation + ":");
    replaceAll("\x03", to.presentation.empty() ? "xmlns" : "xmlns:" + to.presentation);
    replaceAll("\x02", to.relationships + ":");
    replaceAll("\x04", "xmlns:" + to.relationships);
    return text;
}

std::string rootTag(const std::string& xml) {
    const auto start = xml.find('<', xml.find("?>"));
    return xml.substr(start, xml.find('>', start) - start);
}

std::string reprefixedDeck(const Prefixes& to, const ppt_test::fs::path& folder) {
    const std::string source = fixture("mixed.pptx");
    std::map<std::string, std::optional<std::string>> parts;
    for (const char* part : {"ppt/presentation.xml", "ppt/slides/slide1.xml",
                             "ppt/slides/slide2.xml", "ppt/slides/slide3.xml"}) {
        auto text = ppt_test::zipEntry(source, part);
        EXPECT_TRUE(text) << part;
        parts[part] = reprefixed(text.value_or(""), to);
    }
    const auto path = folder / (to.name + ".pptx");
    ppt_test::rewriteZip(source, path, parts);
    return path.string();
}

class PptPrefixes : public ::testing::TestWithParam<Prefixes> {};

TEST_P(PptPrefixes, ReadsEditsAndSavesWellFormed) {
    const Prefixes& prefixes = GetParam();
    const auto folder = ppt_test::scratch();
    const std::string input = reprefixedDeck(prefixes, folder);
    const std::string saved = (folder / ("saved-" + prefixes.name + ".pptx")).string();
    std::string before;
    {
        auto app = Application::Create();
        auto deck = app->Presentations()->Open(fixture("mixed.pptx"));
        before = ppt_test::ourDump(*deck);
    }
    {
        auto app = Application::Create();
        auto deck = app->Presentations()->Open(input);
        // The same slides, shapes and tags as the deck with the usual prefixes.
        EXPECT_EQ(ppt_test::ourDump(*deck), before);
        auto slide = deck->Slides()->Item(1);
        EXPECT_EQ(slide->Shapes()->Item(2)->OLEFormat()->ProgID(),
                  std::string(office::ppt::kChartServerProgID));
        slide->Tags()->Add("Source\x01", std::string("Sheet\x1B") + "1");
        slide->SetName(std::string("Q1\x02 sales"));
        slide->Shapes()->Item(1)->SetName(std::string("Head\xEF\xBF\xBFing"));
        deck->SaveAs(saved);
    }
    auto app = Application::Create();
    auto reopened = app->Presentations()->Open(saved);
    auto slide = reopened->Slides()->Item(1);
    EXPECT_EQ(slide->Tags()->Item("SOURCE"), "Sheet1");
    EXPECT_EQ(slide->Name(), "Q1 sales");
    EXPECT_EQ(slide->Shapes()->Item(1)->Name(), "Heading");

    // New elements take the part's prefixes; no new declaration is needed.
    const std::string xml = ppt_test::zipEntry(saved, "ppt/slides/slide1.xml").value_or("");
    const std::string p = prefixes.presentation.empty() ? "" : prefixes.presentation + ":";
    EXPECT_NE(xml.find("<" + p + "custDataLst><" + p + "tags " + prefixes.relationships + ":id="),
              std::string::npos)
        << xml;
    const auto original = ppt_test::zipEntry(input, "ppt/slides/slide1.xml").value_or("");
    EXPECT_EQ(rootTag(xml), rootTag(original));

    auto independent = ppt_test::independentDump(saved);
    ASSERT_EQ(independent.status, 0) << independent.output;
    EXPECT_EQ(ppt_test::ourDump(*reopened), independent.output);
    if (ppt_test::validatorPresent()) {
        auto verdict = ppt_test::validateAgainst(saved, input);
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }
}

INSTANTIATE_TEST_SUITE_P(OtherPrefixes, PptPrefixes,
                         ::testing::Values(Prefixes{"ns0", "ns0", "ns1"},
                                           Prefixes{"default", "", "rel"},
                                           Prefixes{"swapped", "r", "p"}),
                         [](const ::testing::TestParamInfo<Prefixes>& info) {
                             return info.param.name;
                         });

// A slide whose text holds references to characters that XML cannot hold ("&#1;", written by
// some tools and taken by lenient parsers) is saved without them once it is edited.
TEST(PptControlCharacters, ReferencesInTheInputDoNotReachTheOutput) {
    const auto folder = ppt_test::scratch();
    const std::string source = fixture("mixed.pptx");
    std::string slide = ppt_test::zipEntry(source, "ppt/slides/slide1.xml").value_or("");
    const auto at = slide.find("Two charts");
    ASSERT_NE(at, std::string::npos);
    slide.replace(at, 10, "Two&#1; charts&#x1B;");
    const auto input = folder / "references.pptx";
    ppt_test::rewriteZip(source, input, {{"ppt/slides/slide1.xml", slide}});
    const std::string saved = (folder / "saved.pptx").string();
    {
        auto app = Application::Create();
        auto deck = app->Presentations()->Open(input.string());
        deck->Slides()->Item(1)->Shapes()->Item(1)->SetName("Title");
        deck->SaveAs(saved);
    }
    const std::string xml = ppt_test::zipEntry(saved, "ppt/slides/slide1.xml").value_or("");
    EXPECT_NE(xml.find(">Two charts<"), std::string::npos) << xml;
    EXPECT_EQ(xml.find('\x01'), std::string::npos);
    EXPECT_EQ(xml.find('\x1B'), std::string::npos);
    auto independent = ppt_test::independentDump(saved);
    EXPECT_EQ(independent.status, 0) << independent.output;
}

}  // namespace
