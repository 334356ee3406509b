// Content types and relationship parts as other tools write them: with a prefix, or with the
// usual default namespace, read and written the same way.

#include <gtest/gtest.h>
#include <zip.h>

#include <map>
#include <string>
#include <vector>

#include "office/package/package.h"

namespace ox = office::package;
namespace xns = office::package::ns;

namespace {

std::vector<std::uint8_t> zipOf(const std::map<std::string, std::string>& parts) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* zip = zip_open_from_source(target, ZIP_TRUNCATE, &error);
    zip_source_keep(target);
    for (const auto& [name, bytes] : parts) {
        zip_file_add(zip, name.c_str(), zip_source_buffer(zip, bytes.data(), bytes.size(), 0),
                     ZIP_FL_ENC_UTF_8);
    }
    zip_close(zip);
    zip_stat_t st;
    zip_source_stat(target, &st);
    std::vector<std::uint8_t> out(st.size);
    zip_source_open(target);
    zip_source_read(target, out.data(), st.size);
    zip_source_close(target);
    zip_source_free(target);
    zip_error_fini(&error);
    return out;
}

std::string prefixedTypes() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ct:Types xmlns:ct=\"" +
           std::string(xns::kContentTypes) +
           "\"><ct:Default Extension=\"xml\" ContentType=\"application/xml\"/>"
           "<ct:Override PartName=\"/xl/workbook.xml\" ContentType=\"application/x-book\"/>"
           "</ct:Types>";
}

std::string prefixedRels() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r:Relationships xmlns:r=\"" +
           std::string(xns::kPackageRelationships) +
           "\"><r:Relationship Id=\"rId1\" Type=\"http://x/officeDocument\" "
           "Target=\"xl/workbook.xml\"/></r:Relationships>";
}

ox::Package prefixedPackage() {
    return ox::Package::openBytes(zipOf({{"[Content_Types].xml", prefixedTypes()},
                                         {"_rels/.rels", prefixedRels()},
                                         {"xl/workbook.xml", "<workbook/>"}}),
                                  "prefixed.xlsx", "workbook");
}

std::vector<std::string> childNames(const pugi::xml_document& doc) {
    std::vector<std::string> names;
    for (auto node : doc.document_element().children()) {
        names.emplace_back(node.name());
    }
    return names;
}

TEST(PackagePrefixes, PrefixedContentTypesAndRelationshipsAreRead) {
    auto package = prefixedPackage();
    EXPECT_EQ(package.contentType("xl/workbook.xml"), "application/x-book");
    EXPECT_EQ(package.contentType("xl/other.xml"), "application/xml");
    const auto rels = package.relationships("");
    ASSERT_EQ(rels.all().size(), 1u);
    EXPECT_EQ(rels.all()[0].target, "xl/workbook.xml");
    ASSERT_NE(rels.findByType("/officeDocument"), nullptr);
}

TEST(PackagePrefixes, NewEntriesTakeThePartsPrefixAndTheSchemasOrder) {
    auto package = prefixedPackage();
    package.setContentType("xl/styles.xml", "application/x-styles");
    package.ensureDefault("png", "image/png");
    auto reopened = ox::Package::openBytes(package.saveBytes(), "again.xlsx", "workbook");
    const auto types = reopened.readXml("[Content_Types].xml");
    EXPECT_EQ(childNames(types),
              (std::vector<std::string>{"ct:Default", "ct:Default", "ct:Override", "ct:Override"}));
    EXPECT_EQ(reopened.contentType("xl/styles.xml"), "application/x-styles");
    EXPECT_EQ(reopened.contentType("media/a.png"), "image/png");

    auto rels = reopened.relationships("");
    rels.add("http://x/extra", "docProps/app.xml");
    reopened.setRelationships("", rels);
    const auto written = reopened.readXml("_rels/.rels");
    EXPECT_EQ(childNames(written), (std::vector<std::string>{"r:Relationship", "r:Relationship"}));
    EXPECT_EQ(reopened.relationships("").all().size(), 2u);
}

TEST(PackagePrefixes, ElementsOfAnotherNamespaceAreNotTakenForEntries) {
    auto package = ox::Package::openBytes(
        zipOf({{"[Content_Types].xml",
                "<Types xmlns=\"" + std::string(xns::kContentTypes) +
                    "\" xmlns:o=\"urn:other\"><o:Override PartName=\"/a.xml\" "
                    "ContentType=\"wrong\"/><Override PartName=\"/a.xml\" ContentType=\"right\"/>"
                    "</Types>"},
               {"a.xml", "<a/>"}}),
        "mixed.xlsx", "workbook");
    EXPECT_EQ(package.contentType("a.xml"), "right");
}

TEST(PackagePrefixes, RelationshipValuesAreWrittenWellFormed) {
    auto package = prefixedPackage();
    auto rels = package.relationships("xl/workbook.xml");
    rels.add("http://x/link", std::string("file\x01name.xlsx"), true);
    package.setRelationships("xl/workbook.xml", rels);
    const std::string text = package.read("xl/_rels/workbook.xml.rels");
    EXPECT_EQ(text.find('\x01'), std::string::npos);
    EXPECT_EQ(text.find("&#1;"), std::string::npos);
    EXPECT_EQ(package.relationships("xl/workbook.xml").all()[0].target, "filename.xlsx");
}

}  // namespace
