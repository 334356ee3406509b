#include "office/package/xml.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "office/error.h"
#include "office/excel/text_escapes.h"
#include "support/office_error.h"

namespace ox = office::package;
namespace xns = office::package::ns;

namespace {

pugi::xml_document parsed(std::string_view text) {
    return ox::parseXml(text, "test.xlsx", "xl/worksheets/sheet1.xml");
}

std::vector<std::string> namesOf(const ox::ElementRange& range) {
    std::vector<std::string> names;
    for (pugi::xml_node node : range) {
        names.emplace_back(node.name());
    }
    return names;
}

// pugixml reads a character reference to a control character (&#1;) without complaint, so the
// check of what we wrote looks at the bytes: no raw control character, and no reference to one
// (tab, line feed and carriage return, which XML allows, aside).
bool holdsOnlyXmlCharacters(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            return false;
        }
    }
    for (auto at = text.find("&#"); at != std::string::npos; at = text.find("&#", at + 2)) {
        const bool hex = at + 2 < text.size() && text[at + 2] == 'x';
        const long code = std::strtol(text.c_str() + at + (hex ? 3 : 2), nullptr, hex ? 16 : 10);
        if (code < 0x20 && code != 0x9 && code != 0xA && code != 0xD) {
            return false;
        }
    }
    return true;
}

TEST(XmlNamespaces, DefaultNamespaceAndPrefixesMatchAlike) {
    for (std::string_view text : {
             "<worksheet xmlns='" + std::string(xns::kSpreadsheet) +
                 "'><sheetData><row/><row/></sheetData></worksheet>",
             "<x:worksheet xmlns:x='" + std::string(xns::kSpreadsheet) +
                 "'><x:sheetData><x:row/><x:row/></x:sheetData></x:worksheet>",
             "<ns0:worksheet xmlns:ns0='" + std::string(xns::kSpreadsheet) +
                 "'><ns0:sheetData><ns0:row/><ns0:row/></ns0:sheetData></ns0:worksheet>",
         }) {
        auto doc = parsed(text);
        auto root = doc.document_element();
        EXPECT_TRUE(ox::is(root, xns::kSpreadsheet, "worksheet")) << text;
        EXPECT_FALSE(ox::is(root, xns::kDrawing, "worksheet")) << text;
        auto data = ox::child(root, xns::kSpreadsheet, "sheetData");
        ASSERT_TRUE(data) << text;
        EXPECT_EQ(namesOf(ox::children(data, xns::kSpreadsheet, "row")).size(), 2u) << text;
    }
}

TEST(XmlNamespaces, AnElementOfAnotherNamespaceWithTheSameLocalNameIsNotMatched) {
    auto doc = parsed("<p:sld xmlns:p='" + std::string(xns::kPresentation) + "' xmlns:a='" +
                      std::string(xns::kDrawing) +
                      "' xmlns:q='urn:other'><q:cSld/><a:cSld/><p:cSld name='x'/></p:sld>");
    auto found = ox::child(doc.document_element(), xns::kPresentation, "cSld");
    ASSERT_TRUE(found);
    EXPECT_STREQ(found.attribute("name").value(), "x");
    EXPECT_EQ(namesOf(ox::children(doc.document_element(), xns::kDrawing)),
              std::vector<std::string>{"a:cSld"});
}

TEST(XmlNamespaces, TwoPrefixesForOneNamespaceInOneDocument) {
    auto doc = parsed("<a:root xmlns:a='" + std::string(xns::kChart) + "' xmlns:b='" +
                      std::string(xns::kChart) + "'><a:ser/><b:ser/><ser/></a:root>");
    EXPECT_EQ(namesOf(ox::children(doc.document_element(), xns::kChart, "ser")),
              (std::vector<std::string>{"a:ser", "b:ser"}));
}

TEST(XmlNamespaces, APrefixRedeclaredLowerDownIsResolvedWhereItIsDeclared) {
    const std::string text = "<x:worksheet xmlns:x='" + std::string(xns::kSpreadsheet) +
                             "'><x:sheetData xmlns:x='urn:elsewhere'><x:row/></x:sheetData>"
                             "<x:sheetData><x:row/><x:row xmlns:x='urn:elsewhere'/>"
                             "<y:row xmlns:y='" +
                             std::string(xns::kSpreadsheet) + "'/></x:sheetData></x:worksheet>";
    auto doc = parsed(text);
    auto root = doc.document_element();
    auto datas = namesOf(ox::children(root, xns::kSpreadsheet, "sheetData"));
    ASSERT_EQ(datas.size(), 1u);  // the first sheetData is in urn:elsewhere
    auto data = ox::child(root, xns::kSpreadsheet, "sheetData");
    EXPECT_EQ(ox::namespaceOf(root.first_child()), "urn:elsewhere");
    EXPECT_EQ(namesOf(ox::children(data, xns::kSpreadsheet, "row")),
              (std::vector<std::string>{"x:row", "y:row"}));
    EXPECT_EQ(ox::prefixFor(root.first_child(), xns::kSpreadsheet), std::nullopt);
    EXPECT_EQ(ox::prefixFor(data, xns::kSpreadsheet), "x");
}

TEST(XmlNamespaces, AnUndeclaredDefaultNamespaceMeansNoNamespace) {
    auto doc = parsed("<worksheet xmlns='" + std::string(xns::kSpreadsheet) +
                      "'><sheetData xmlns=''><row/></sheetData></worksheet>");
    auto data = doc.document_element().first_child();
    EXPECT_FALSE(ox::is(data, xns::kSpreadsheet, "sheetData"));
    EXPECT_TRUE(ox::is(data, "", "sheetData"));
    EXPECT_EQ(namesOf(ox::children(data, "", "row")).size(), 1u);
}

TEST(XmlNamespaces, NamespacedAttributesAreFoundByUriNotPrefix) {
    auto doc = parsed("<p:sld xmlns:p='" + std::string(xns::kPresentation) + "' xmlns:rel='" +
                      std::string(xns::kRelationships) +
                      "'><p:oleObj id='plain' rel:id='rId7' xml:space='preserve'/></p:sld>");
    auto object = doc.document_element().first_child();
    EXPECT_STREQ(ox::attribute(object, xns::kRelationships, "id").value(), "rId7");
    EXPECT_STREQ(ox::attribute(object, "", "id").value(), "plain");
    EXPECT_STREQ(ox::attribute(object, xns::kXml, "space").value(), "preserve");
    EXPECT_FALSE(ox::attribute(object, xns::kDrawing, "id"));
}

TEST(XmlNewElements, TakeThePrefixTheParentsNamespaceHas) {
    auto doc = parsed("<x:styleSheet xmlns:x='" + std::string(xns::kSpreadsheet) +
                      "'><x:fonts/></x:styleSheet>");
    auto fonts = doc.document_element().first_child();
    EXPECT_STREQ(ox::appendChild(fonts, xns::kSpreadsheet, "font").name(), "x:font");

    auto plain = parsed("<styleSheet xmlns='" + std::string(xns::kSpreadsheet) + "'/>");
    EXPECT_STREQ(ox::appendChild(plain.document_element(), xns::kSpreadsheet, "fonts").name(),
                 "fonts");
}

TEST(XmlNewElements, AMissingNamespaceIsDeclaredOnTheRootUnderAFreePrefix) {
    auto doc = parsed("<p:sld xmlns:p='" + std::string(xns::kPresentation) +
                      "' xmlns:a='urn:taken'><p:cSld><p:spTree/></p:cSld></p:sld>");
    auto tree = doc.document_element().first_child().first_child();
    auto made = ox::appendChild(tree, xns::kDrawing, "off");
    EXPECT_STREQ(made.name(), "a1:off");
    EXPECT_STREQ(doc.document_element().attribute("xmlns:a1").value(), xns::kDrawing.data());
    EXPECT_TRUE(ox::is(made, xns::kDrawing, "off"));
    // Asked again, the namespace is found, not declared twice.
    EXPECT_STREQ(ox::appendChild(tree, xns::kDrawing, "ext").name(), "a1:ext");

    auto attribute = ox::setAttribute(tree, xns::kRelationships, "id", "rId3");
    EXPECT_STREQ(attribute.name(), "r:id");
    EXPECT_STREQ(ox::attribute(tree, xns::kRelationships, "id").value(), "rId3");
}

TEST(XmlNewElements, AnAttributeNeverTakesTheDefaultNamespace) {
    auto doc = parsed("<Relationships xmlns='" + std::string(xns::kRelationships) + "'/>");
    auto attribute = ox::setAttribute(doc.document_element(), xns::kRelationships, "id", "rId1");
    EXPECT_STREQ(attribute.name(), "r:id");
}

TEST(XmlNewElements, AnElementInNoNamespaceUnderADefaultOneUndeclaresIt) {
    auto doc = parsed("<Types xmlns='" + std::string(xns::kContentTypes) + "'/>");
    auto made = ox::appendChild(doc.document_element(), "", "plain");
    EXPECT_STREQ(made.attribute("xmlns").value(), "");
    EXPECT_FALSE(made.attribute("xmlns").empty());
    EXPECT_TRUE(ox::is(made, "", "plain"));
}

constexpr std::string_view kStyleOrder[] = {"numFmts", "fonts", "fills", "borders",
                                            "cellXfs", "dxfs",  "extLst"};

TEST(XmlOrder, AChildGoesBeforeTheFirstOneTheListPlacesAfterIt) {
    auto doc = parsed("<x:styleSheet xmlns:x='" + std::string(xns::kSpreadsheet) +
                      "' xmlns:o='urn:other'><x:fonts/><o:fills/><x:cellXfs/><x:extLst/>"
                      "</x:styleSheet>");
    auto root = doc.document_element();
    ox::insertInOrder(root, xns::kSpreadsheet, "borders", kStyleOrder);
    ox::insertInOrder(root, xns::kSpreadsheet, "numFmts", kStyleOrder);
    ox::insertInOrder(root, xns::kSpreadsheet, "dxfs", kStyleOrder);
    ox::insertInOrder(root, xns::kSpreadsheet, "unknown", kStyleOrder);
    std::vector<std::string> names;
    for (auto node : root.children()) {
        names.emplace_back(node.name());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"x:numFmts", "x:fonts", "o:fills", "x:borders",
                                               "x:cellXfs", "x:dxfs", "x:extLst", "x:unknown"}));
}

TEST(XmlOrder, EnsureChildKeepsAnExistingOne) {
    auto doc = parsed("<styleSheet xmlns='" + std::string(xns::kSpreadsheet) +
                      "'><fonts count='1'/></styleSheet>");
    auto root = doc.document_element();
    EXPECT_STREQ(
        ox::ensureChild(root, xns::kSpreadsheet, "fonts", kStyleOrder).attribute("count").value(),
        "1");
    ox::ensureChild(root, xns::kSpreadsheet, "numFmts", kStyleOrder);
    EXPECT_STREQ(root.first_child().name(), "numFmts");
}

TEST(XmlText, ControlCharactersAreDroppedOrEscapedAndTheResultIsWellFormed) {
    const std::string raw = std::string("a\x01") + "b\x1B" + "c\xEF\xBF\xBF" + "d\tz";
    EXPECT_EQ(ox::xmlSafe(raw), "abcd\tz");
    EXPECT_EQ(office::excel::spreadsheetEscaped(raw), "a_x0001_b_x001B_c_xFFFF_d\tz");

    pugi::xml_document doc;
    auto element = doc.append_child("t");
    ox::setText(element, office::excel::spreadsheetEscaped(raw));
    ox::setAttribute(element, "val", raw);
    const std::string written = ox::toXml(doc);
    EXPECT_TRUE(holdsOnlyXmlCharacters(written)) << written;
    auto back = parsed(written);
    EXPECT_EQ(office::excel::spreadsheetUnescaped(back.document_element().text().get()), raw);
    EXPECT_STREQ(back.document_element().attribute("val").value(), "abcd\tz");
}

TEST(XmlText, ALiteralEscapeLikeTextSurvivesTheRoundTrip) {
    for (std::string text : {"_x0041_", "a_x00_b", "__x0001__", "_X00e9_", "tail_"}) {
        const std::string escaped = office::excel::spreadsheetEscaped(text);
        EXPECT_EQ(office::excel::spreadsheetUnescaped(escaped), text) << escaped;
    }
    EXPECT_EQ(office::excel::spreadsheetEscaped("_x0041_"), "_x005F_x0041_");
    EXPECT_EQ(office::excel::spreadsheetUnescaped("caf_x00E9_ _x000d_"), "caf\xC3\xA9 \r");
    // Two escaped surrogates make one character beyond the basic plane; a lone one stays text.
    EXPECT_EQ(office::excel::spreadsheetUnescaped("_xD83D__xDE00_"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(office::excel::spreadsheetUnescaped("_xD83D_"), "_xD83D_");
}

TEST(XmlText, BytesThatAreNoCharacterAreDroppedInBothModes) {
    EXPECT_EQ(office::excel::spreadsheetEscaped("bad\xFF\xC3"), "bad");
    EXPECT_EQ(office::excel::spreadsheetEscaped("\xED\xA0\x80y"), "y");
}

TEST(XmlParse, AFaultNamesTheFilePartAndOffset) {
    EXPECT_OFFICE_ERROR(ox::parseXml("<a><b></a>", "report.pptx", "ppt/slides/slide1.xml"),
                        office::ErrorCode::CorruptPart,
                        "report.pptx: ppt/slides/slide1.xml: start-end tags mismatch at offset 8");
}

// Contents held as text in a marker come out of toXml, and out of expandXmlText in the live
// tree, as the elements they stand for, in the marker's place, whatever their values hold: read
// back, they equal the same elements made as nodes with setAttribute and setText.
TEST(XmlText, ComesOutAsTheElementsItStandsFor) {
    const std::vector<std::string> values = {
        "plain",         "a<b & c>d",  "quote \" tab\tline\nend",
        "return\r here", "ctrl \x01.", " spaced ?>"};
    std::string text;
    auto nodes = parsed("<root/>");
    for (const auto& value : values) {
        text += "<e k=\"";
        ox::appendEscaped(text, value, ox::Context::Attribute);
        text += "\">";
        ox::appendEscaped(text, value, ox::Context::Text);
        text += "</e>";
        pugi::xml_node e = nodes.document_element().append_child("e");
        ox::setAttribute(e, "k", value);
        ox::setText(e, value);
    }
    const auto reference = parsed(ox::toXml(nodes));
    auto doc = parsed("<root><a/><z/></root>");
    pugi::xml_node root = doc.document_element();
    const pugi::xml_node marker = ox::insertXmlText(root, root.child("z"), text);
    ox::insertXmlText(root, {}, "");  // an empty text leaves nothing

    auto check = [&](const pugi::xml_node& read) {
        std::vector<std::string> names;
        for (pugi::xml_node n : read.children()) {
            if (n.type() == pugi::node_element) {
                names.emplace_back(n.name());
            }
        }
        EXPECT_EQ(names, (std::vector<std::string>{"a", "e", "e", "e", "e", "e", "e", "z"}));
        pugi::xml_node expected = reference.document_element().child("e");
        for (pugi::xml_node e : read.children("e")) {
            ASSERT_TRUE(expected);
            EXPECT_STREQ(e.attribute("k").value(), expected.attribute("k").value());
            EXPECT_STREQ(e.text().get(), expected.text().get());
            expected = expected.next_sibling("e");
        }
    };
    const std::string written = ox::toXml(doc);
    EXPECT_EQ(written.find("<?", 5), std::string::npos) << written;
    check(parsed(written).document_element());
    ox::expandXmlText(marker);
    check(parsed(ox::toXml(doc)).document_element());
}

// The save deflates a part as streamXml hands it over: the pieces make the very bytes of
// toXml, markers spliced however the pieces fall (a marker's text with '?' and '<' in it, one
// longer than a piece, markers side by side, another processing instruction left as it is).
TEST(XmlText, StreamedPiecesMakeTheBytesOfToXml) {
    std::string large;
    for (int i = 0; i < 20000; ++i) {
        large += "<e k=\"" + std::to_string(i) + "\">";
        ox::appendEscaped(large, "why? <" + std::to_string(i) + "> ?", ox::Context::Text);
        large += "</e>";
    }
    auto doc = parsed(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><root><a>x?y</a>"
        "<z/></root>");
    pugi::xml_node root = doc.document_element();
    pugi::xml_node other = root.prepend_child(pugi::node_pi);
    other.set_name("other");
    other.set_value("keep this");
    ox::insertXmlText(root, root.child("z"), large);
    ox::insertXmlText(root, root.child("z"), "<e>?</e>");
    ox::insertXmlText(root, {}, "<q/>");
    auto bare = parsed("<r><?tabulon-xml-text-not?></r>");
    for (const pugi::xml_document* each : {&doc, &bare}) {
        std::string streamed;
        std::size_t pieces = 0;
        ox::streamXml(*each, [&](std::string_view piece) {
            streamed += piece;
            ++pieces;
        });
        EXPECT_EQ(streamed, ox::toXml(*each));
        if (each == &doc) {
            EXPECT_GT(pieces, 1u) << "a large part comes in pieces";
            EXPECT_NE(streamed.find("<?other keep this?>"), std::string::npos);
        }
    }
}

}  // namespace

namespace {

TEST(XmlNamespaces, DescendantsAreFoundAtAnyDepthByNamespace) {
    auto doc = parsed("<p:sld xmlns:p='" + std::string(xns::kPresentation) +
                      "'><p:grpSp><p:graphicFrame id='1'/><q:graphicFrame xmlns:q='urn:other'/>"
                      "</p:grpSp><graphicFrame xmlns='" +
                      std::string(xns::kPresentation) + "' id='2'/></p:sld>");
    std::vector<std::string> ids;
    for (auto frame : ox::descendants(doc, xns::kPresentation, "graphicFrame")) {
        ids.emplace_back(frame.attribute("id").value());
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(ox::holdsAttributeValue(doc, "2"));
    EXPECT_FALSE(ox::holdsAttributeValue(doc, "3"));
}

}  // namespace

namespace {

TEST(XmlParse, ReferencesToCharactersXmlCannotHoldAreCleanedOnParse) {
    auto slide = parsed("<p:sld xmlns:p='" + std::string(xns::kPresentation) +
                        "'><p:t a='x&#1;y'>Two&#x1B; charts&#10;</p:t></p:sld>");
    const std::string written = ox::toXml(slide);
    EXPECT_TRUE(holdsOnlyXmlCharacters(written)) << written;
    EXPECT_STREQ(slide.document_element().first_child().text().get(), "Two charts\n");
    EXPECT_STREQ(slide.document_element().first_child().attribute("a").value(), "xy");

    // In SpreadsheetML the character is kept as an escape; escapes already there stay.
    auto strings = ox::parseXml(
        "<sst xmlns='" + std::string(xns::kSpreadsheet) + "'><si><t>a&#1;b_x0041_</t></si></sst>",
        "test.xlsx", "xl/sharedStrings.xml", office::excel::kSheetTextEscape);
    EXPECT_STREQ(strings.document_element().first_child().first_child().text().get(),
                 "a_x0001_b_x0041_");
}

}  // namespace

namespace {

TEST(XmlNamespaces, ChildOfAYieldedElementUsesTheRangesBindingsUnlessItDeclaresItsOwn) {
    auto doc = parsed("<x:row xmlns:x='" + std::string(xns::kSpreadsheet) +
                      "'><x:c><y:v xmlns:y='urn:other'>no</y:v><x:v>1</x:v></x:c>"
                      "<x:c xmlns:x='urn:other'><x:v>no</x:v></x:c>"
                      "<x:c><v xmlns='" +
                      std::string(xns::kSpreadsheet) + "'>3</v></x:c></x:row>");
    const auto cells = ox::children(doc.document_element(), xns::kSpreadsheet, "c");
    std::vector<std::string> values;
    for (auto cell : cells) {
        values.emplace_back(cells.childOf(cell, "v").text().get());
    }
    EXPECT_EQ(values, (std::vector<std::string>{"1", "3"}));  // the second c is elsewhere
}

}  // namespace

// One table knows each namespace by either URI; a Strict part is read by the transitional
// names, a marker is read as its elements, and what is added keeps the part's flavour.
TEST(XmlNamespaces, StrictTwinsMatchAndAdditionsStayStrict) {
    EXPECT_EQ(ox::namespaceId("http://purl.oclc.org/ooxml/drawingml/chart"), ox::Namespace::Chart);
    EXPECT_EQ(ox::namespaceId(xns::kChart), ox::Namespace::Chart);
    EXPECT_EQ(ox::namespaceId("http://example.com/main"), ox::Namespace::Unknown);
    EXPECT_FALSE(ox::sameNamespace(xns::kDrawing, "http://purl.oclc.org/ooxml/drawingml/chart"));
    auto doc = parsed(
        "<s:worksheet xmlns:s=\"http://purl.oclc.org/ooxml/spreadsheetml/main\"><s:sheetData>"
        "<s:row r=\"1\"/></s:sheetData></s:worksheet>");
    const pugi::xml_node data = ox::child(doc.document_element(), xns::kSpreadsheet, "sheetData");
    ox::insertXmlText(data, {}, "<s:row r=\"2\"/>");
    std::vector<std::string> rows;
    for (pugi::xml_node row : ox::children(data, xns::kSpreadsheet, "row")) {
        rows.emplace_back(row.attribute("r").value());
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"1", "2"}));
    ox::setAttribute(ox::appendChild(data, xns::kSpreadsheet, "row"), xns::kRelationships, "id",
                     "rId1");
    EXPECT_STREQ(data.last_child().name(), "s:row");
    EXPECT_STREQ(doc.document_element().attribute("xmlns:r").value(),
                 "http://purl.oclc.org/ooxml/officeDocument/relationships");
}

// A colour style part has no Strict twin: what is added follows its root's Strict declarations.
TEST(XmlNamespaces, AnAdditionFollowsTheRootsDeclarationsWhereItsNamespaceHasNoTwin) {
    auto doc = parsed("<cs:colorStyle xmlns:cs=\"" + std::string(xns::kChartStyle) +
                      "\" xmlns:r=\"http://purl.oclc.org/ooxml/officeDocument/relationships\"/>");
    ox::appendChild(doc.document_element(), xns::kDrawing, "schemeClr");
    EXPECT_STREQ(doc.document_element().attribute("xmlns:a").value(),
                 "http://purl.oclc.org/ooxml/drawingml/main");
}
