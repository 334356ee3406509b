#include "office/package/package.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "office/compound/compound_file.h"
#include "office/error.h"
#include "support/office_error.h"

namespace fs = std::filesystem;
using office::ErrorCode;
using office::package::Package;

namespace {

const char* kTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/doc/main.xml\" ContentType=\"application/x-main+xml\"/></Types>";
const char* kRootRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://x/officeDocument\" Target=\"doc/main.xml\"/>"
    "</Relationships>";

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("tabulon-package-" +
                   std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Writes a zip with the given entries (deflated) and returns its path.
    std::string makeZip(const std::string& name, const std::map<std::string, std::string>& parts) {
        const std::string path = (folder_ / name).string();
        int error = 0;
        zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        EXPECT_NE(zip, nullptr);
        for (const auto& [part, data] : parts) {
            auto* source = zip_source_buffer(zip, data.data(), data.size(), 0);
            zip_file_add(zip, part.c_str(), source, ZIP_FL_ENC_UTF_8);
        }
        EXPECT_EQ(zip_close(zip), 0);
        return path;
    }

    std::string makeDocument(const std::string& name = "doc.pkg") {
        return makeZip(name, {{"[Content_Types].xml", kTypes},
                              {"_rels/.rels", kRootRels},
                              {"doc/main.xml", "<?xml version=\"1.0\"?>\r\n<main><a> </a></main>"},
                              {"doc/media/image1.bin", std::string("\0\1\2binary", 9)}});
    }

    std::string writeFile(const std::string& name, const std::string& bytes) {
        const auto path = folder_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    fs::path folder_;
};

TEST_F(PackageTest, UnchangedRoundTripKeepsEveryPartByteForByte) {
    const auto original = Package::openFile(makeDocument(), "document");
    const std::string copy = (folder_ / "copy.pkg").string();
    original.saveFile(copy);
    const auto reopened = Package::openFile(copy, "document");
    ASSERT_EQ(original.partNames(), reopened.partNames());
    for (const auto& part : original.partNames()) {
        EXPECT_EQ(original.read(part), reopened.read(part)) << part;
    }
}

TEST_F(PackageTest, EditedTreeIsSavedAndOthersAreNot) {
    auto package = Package::openFile(makeDocument(), "document");
    auto& doc = package.xml("doc/main.xml");
    doc.document_element().append_child("b").text().set("new");
    EXPECT_FALSE(package.changed("doc/main.xml"));
    package.markDirty("doc/main.xml");
    EXPECT_TRUE(package.changed("doc/main.xml"));
    EXPECT_FALSE(package.changed("doc/media/image1.bin"));
    // The same tree is handed out again, with the edit.
    EXPECT_EQ(&package.xml("DOC/Main.xml"), &doc);

    const std::string out = (folder_ / "out.pkg").string();
    package.saveFile(out);
    const auto reopened = Package::openFile(out, "document");
    EXPECT_EQ(reopened.read("doc/main.xml"),
              "<?xml version=\"1.0\"?>\r\n<main><a> </a><b>new</b></main>");
    EXPECT_EQ(reopened.read("doc/media/image1.bin"), std::string("\0\1\2binary", 9));
}

TEST_F(PackageTest, ReleasedTreeKeepsItsEditsAndIsParsedAfresh) {
    auto package = Package::openFile(makeDocument(), "document");
    package.xml("doc/main.xml").document_element().append_child("b");
    package.markDirty("doc/main.xml");
    package.release("doc/main.xml");
    EXPECT_TRUE(package.changed("doc/main.xml"));
    EXPECT_EQ(package.read("doc/main.xml"), "<?xml version=\"1.0\"?>\r\n<main><a> </a><b/></main>");
    EXPECT_TRUE(package.xml("doc/main.xml").document_element().child("b"));

    const std::string out = (folder_ / "out.pkg").string();
    package.saveFile(out);
    EXPECT_EQ(Package::openFile(out, "document").read("doc/main.xml"),
              "<?xml version=\"1.0\"?>\r\n<main><a> </a><b/></main>");
}

// Trees let go of wait a little before they are serialised; every edit survives however many
// wait, and a part's relationships follow every way its .rels part changes.
TEST_F(PackageTest, ManyReleasedTreesAndEditedRelationshipsKeepEveryChange) {
    auto package = Package::openFile(makeDocument(), "document");
    for (int k = 1; k <= 7; ++k) {
        const std::string part = "doc/part" + std::to_string(k) + ".xml";
        package.write(part, "<?xml version=\"1.0\"?>\r\n<p/>");
        package.xml(part).document_element().append_attribute("k") = k;
        package.markDirty(part);
        package.release(part);
    }
    const std::string rels = "doc/_rels/main.xml.rels";
    EXPECT_TRUE(package.relationships("doc/main.xml").empty());
    package.write(rels, kRootRels);
    EXPECT_EQ(package.relationships("doc/main.xml").all().size(), 1u);
    package.xml(rels).document_element().remove_children();
    package.markDirty(rels);
    EXPECT_TRUE(package.relationships("doc/main.xml").empty());

    const std::string out = (folder_ / "out.pkg").string();
    package.saveFile(out);
    const auto reopened = Package::openFile(out, "document");
    for (int k = 1; k <= 7; ++k) {
        EXPECT_EQ(reopened.read("doc/part" + std::to_string(k) + ".xml"),
                  "<?xml version=\"1.0\"?>\r\n<p k=\"" + std::to_string(k) + "\"/>");
    }
}

// A part whose contents are made late: made once when read or saved, or when more wait than
// the package keeps; replaced by a later write; a failure to make them fails the save before
// anything is written.
TEST_F(PackageTest, DeferredPartsAreMadeOnceWhenNeeded) {
    struct Maker : Package::Deferred {
        std::string text;
        int made = 0;
        std::string contents() override {
            ++made;
            if (text.empty()) {
                throw office::Error(ErrorCode::WriteFailed, "cannot make it");
            }
            return text;
        }
    };
    auto package = Package::openFile(makeDocument(), "document");
    std::vector<std::shared_ptr<Maker>> makers;
    for (int k = 0; k < 4; ++k) {
        makers.push_back(std::make_shared<Maker>());
        makers.back()->text = "part " + std::to_string(k);
        package.writeDeferred("doc/made" + std::to_string(k) + ".bin", makers.back());
    }
    EXPECT_EQ(makers[0]->made + makers[1]->made, 2);  // two wait at most
    EXPECT_EQ(makers[3]->made, 0);
    EXPECT_EQ(package.deferred("doc/made3.bin"), makers[3]);
    EXPECT_EQ(package.read("doc/made3.bin"), "part 3");
    EXPECT_EQ(makers[3]->made, 1);
    EXPECT_EQ(package.deferred("doc/made3.bin"), nullptr);
    package.write("doc/made2.bin", "written");

    const std::string out = (folder_ / "out.pkg").string();
    auto failing = std::make_shared<Maker>();
    package.writeDeferred("doc/failing.bin", failing);
    EXPECT_OFFICE_ERROR(package.saveFile(out), ErrorCode::WriteFailed, "cannot make it");
    EXPECT_FALSE(fs::exists(out));
    failing->text = "made at last";
    package.saveFile(out);
    const auto reopened = Package::openFile(out, "document");
    EXPECT_EQ(reopened.read("doc/made0.bin"), "part 0");
    EXPECT_EQ(reopened.read("doc/made2.bin"), "written");
    EXPECT_EQ(reopened.read("doc/failing.bin"), "made at last");
    EXPECT_EQ(makers[2]->made, 0);
}

// Makers that nothing else reaches and released trees are made on the package's own thread:
// every part comes out as it was made, also one read while it is being made and a large part
// that the file is written around; a failure there fails the save before anything is written,
// and the next save makes the part again.
TEST_F(PackageTest, PartsMadeInTheBackgroundComeOutAsTheyWereMade) {
    struct Maker : Package::Deferred {
        std::string text;
        std::string contents() override {
            if (text.empty()) {
                throw office::Error(ErrorCode::WriteFailed, "cannot make it");
            }
            return text;
        }
        bool independent() const override { return true; }
    };
    const auto made = [](int k) { return std::string(5000 + k, static_cast<char>('a' + k)); };
    auto package = Package::openFile(makeDocument(), "document");
    for (int k = 0; k < 12; ++k) {
        auto maker = std::make_shared<Maker>();
        maker->text = made(k);
        package.writeDeferred("doc/made" + std::to_string(k) + ".bin", maker);
        const std::string part = "doc/part" + std::to_string(k) + ".xml";
        package.write(part, "<?xml version=\"1.0\"?>\r\n<p/>");
        package.xml(part).document_element().append_attribute("k") = k;
        package.markDirty(part);
        package.release(part);
    }
    EXPECT_EQ(package.read("doc/made9.bin"), made(9));
    std::string noise(300000, '\0');
    std::srand(7);
    for (char& c : noise) {
        c = static_cast<char>(std::rand());
    }
    package.write("doc/media/noise.png", noise);  // stored, and larger than a write's buffer
    auto failing = std::make_shared<Maker>();
    package.writeDeferred("doc/failing.bin", failing);
    for (const char* last : {"doc/last1.bin", "doc/last2.bin"}) {
        auto maker = std::make_shared<Maker>();
        maker->text = last;
        package.writeDeferred(last, maker);  // the failing one goes to the background
    }

    const std::string out = (folder_ / "out.pkg").string();
    EXPECT_OFFICE_ERROR(package.saveFile(out), ErrorCode::WriteFailed, "cannot make it");
    EXPECT_FALSE(fs::exists(out));
    failing->text = "made at last";
    package.saveFile(out);
    const auto reopened = Package::openFile(out, "document");
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(reopened.read("doc/made" + std::to_string(k) + ".bin"), made(k));
        EXPECT_EQ(reopened.read("doc/part" + std::to_string(k) + ".xml"),
                  "<?xml version=\"1.0\"?>\r\n<p k=\"" + std::to_string(k) + "\"/>");
    }
    EXPECT_EQ(reopened.read("doc/failing.bin"), "made at last");
    EXPECT_EQ(reopened.read("doc/last2.bin"), "doc/last2.bin");
    EXPECT_EQ(reopened.read("doc/media/noise.png"), noise);
}

TEST_F(PackageTest, AddedAndRemovedPartsKeepContentTypesConsistent) {
    auto package = Package::openFile(makeDocument(), "document");
    package.write("doc/extra/pic1.png", "png-bytes");
    package.ensureDefault("png", "image/png");
    package.setContentType("doc/other.xml", "application/x-other+xml");
    package.write("doc/other.xml", "<other/>");
    package.remove("doc/main.xml");

    EXPECT_EQ(package.contentType("doc/extra/pic1.png"), "image/png");
    EXPECT_EQ(package.contentType("doc/other.xml"), "application/x-other+xml");
    EXPECT_FALSE(package.has("doc/main.xml"));
    EXPECT_EQ(package.contentType("doc/main.xml"), "application/xml");  // the Default remains

    const std::string out = (folder_ / "out.pkg").string();
    package.saveFile(out);
    const auto reopened = Package::openFile(out, "document");
    const std::string types = reopened.read("[Content_Types].xml");
    EXPECT_EQ(types.find("/doc/main.xml"), std::string::npos) << types;
    EXPECT_NE(types.find("Extension=\"png\""), std::string::npos) << types;
    EXPECT_EQ(reopened.read("doc/extra/pic1.png"), "png-bytes");
}

TEST_F(PackageTest, RelationshipsReadAddAndWriteBack) {
    auto package = Package::openFile(makeDocument(), "document");
    auto rels = package.relationships("");
    ASSERT_NE(rels.find("rId1"), nullptr);
    EXPECT_EQ(rels.findByType("/officeDocument")->target, "doc/main.xml");
    EXPECT_TRUE(package.relationships("doc/main.xml").empty());

    auto docRels = package.relationships("doc/main.xml");
    const auto id = docRels.add("http://x/image", "media/image1.bin");
    EXPECT_EQ(id, "rId1");
    EXPECT_EQ(docRels.add("http://x/link", "http://example.invalid/", true), "rId2");
    package.setRelationships("doc/main.xml", docRels);
    EXPECT_TRUE(package.has("doc/_rels/main.xml.rels"));

    const auto back = package.relationships("doc/main.xml");
    ASSERT_EQ(back.all().size(), 2u);
    EXPECT_TRUE(back.find("rId2")->external);
    EXPECT_EQ(office::package::resolveTarget("doc/main.xml", back.find("rId1")->target),
              "doc/media/image1.bin");

    package.setRelationships("doc/main.xml", {});
    EXPECT_FALSE(package.has("doc/_rels/main.xml.rels"));
}

TEST_F(PackageTest, NewImagesAreStoredAndNewPackagesAndXmlAreDeflated) {
    auto package = Package::openFile(makeDocument(), "document");
    package.write("doc/embeddings/book1.xlsx", std::string(4096, 'x'));
    package.write("doc/media/image2.png", std::string(4096, 'p'));
    package.write("doc/new.xml", "<new>" + std::string(4096, 'y') + "</new>");
    const std::string out = (folder_ / "out.pkg").string();
    package.saveFile(out);

    int error = 0;
    zip_t* zip = zip_open(out.c_str(), ZIP_RDONLY, &error);
    ASSERT_NE(zip, nullptr);
    zip_stat_t st;
    ASSERT_EQ(zip_stat(zip, "doc/embeddings/book1.xlsx", 0, &st), 0);
    EXPECT_EQ(st.comp_method, ZIP_CM_DEFLATE) << "an embedded package, as PowerPoint writes it";
    ASSERT_EQ(zip_stat(zip, "doc/media/image2.png", 0, &st), 0);
    EXPECT_EQ(st.comp_method, ZIP_CM_STORE);
    ASSERT_EQ(zip_stat(zip, "doc/new.xml", 0, &st), 0);
    EXPECT_EQ(st.comp_method, ZIP_CM_DEFLATE);
    zip_discard(zip);
}

// Bytes that deflate cannot shrink, the same on every run.
std::string noise(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 1103515245 + 12345;
        byte = static_cast<char>(state >> 23);
    }
    return bytes;
}

// The raw bytes of an entry as the archive holds them (deflated or stored).
std::string rawEntry(const std::string& path, const char* name) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY, &error);
    EXPECT_NE(zip, nullptr);
    zip_stat_t st;
    zip_stat(zip, name, 0, &st);
    zip_file_t* file = zip_fopen(zip, name, ZIP_FL_COMPRESSED);
    std::string bytes(static_cast<std::size_t>(st.comp_size), '\0');
    EXPECT_EQ(zip_fread(file, bytes.data(), bytes.size()), static_cast<zip_int64_t>(bytes.size()));
    zip_fclose(file);
    zip_discard(zip);
    return bytes;
}

// An embedded package is deflated as a whole around the already deflated data of its entries,
// which goes into the stream as it is: its headers and directory still shrink, and it comes
// back byte for byte, also when its directory lies about where the entries are.
TEST_F(PackageTest, EmbeddedPackageIsDeflatedAroundItsDeflatedEntries) {
    std::map<std::string, std::string> parts;
    for (int i = 0; i < 20; ++i) {
        parts["xl/worksheets/_rels/a-rather-long-part-name-" + std::to_string(i) + ".xml.rels"] =
            "<Relationships/>";
    }
    const std::string packed = noise(6000);
    parts["xl/media/noise.bin"] = packed;
    const std::string inner = makeZip("inner.xlsx", parts);
    std::ifstream in(inner, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::string lying = bytes;
    const auto end = lying.rfind("PK\x05\x06");
    ASSERT_NE(end, std::string::npos);
    lying[end + 16] = '\x07';  // the directory's offset now points into the entries

    auto package = Package::openFile(makeDocument(), "document");
    package.write("doc/embeddings/book1.xlsx", bytes);
    package.write("doc/embeddings/book2.xlsx", lying);
    const std::string out = (folder_ / "out.pkg").string();
    package.saveFile(out);

    const auto saved = Package::openFile(out, "document");
    EXPECT_EQ(saved.read("doc/embeddings/book1.xlsx"), bytes);
    EXPECT_EQ(saved.read("doc/embeddings/book2.xlsx"), lying);
    const std::string raw = rawEntry(out, "doc/embeddings/book1.xlsx");
    EXPECT_LT(raw.size(), bytes.size() - 1000) << "the names and headers are deflated";
    EXPECT_GT(raw.size(), packed.size()) << "noise does not shrink";
}

TEST(PackagePaths, TargetsResolveAndRelativise) {
    using office::package::relativeTarget;
    using office::package::relsPartName;
    using office::package::resolveTarget;
    EXPECT_EQ(resolveTarget("ppt/slides/slide1.xml", "../charts/chart1.xml"),
              "ppt/charts/chart1.xml");
    EXPECT_EQ(resolveTarget("ppt/slides/slide1.xml", "/ppt/media/a.png"), "ppt/media/a.png");
    EXPECT_EQ(resolveTarget("", "ppt/presentation.xml"), "ppt/presentation.xml");
    EXPECT_EQ(resolveTarget("ppt/charts/chart1.xml", "../embeddings/Sheet%201.xlsx"),
              "ppt/embeddings/Sheet 1.xlsx");
    EXPECT_EQ(relativeTarget("ppt/slides/slide1.xml", "ppt/charts/chart2.xml"),
              "../charts/chart2.xml");
    EXPECT_EQ(relativeTarget("ppt/slides/slide1.xml", "ppt/slides/slide2.xml"), "slide2.xml");
    EXPECT_EQ(relativeTarget("", "ppt/presentation.xml"), "ppt/presentation.xml");
    EXPECT_EQ(relsPartName("ppt/slides/slide1.xml"), "ppt/slides/_rels/slide1.xml.rels");
    EXPECT_EQ(relsPartName(""), "_rels/.rels");
}

TEST_F(PackageTest, BadInputIsRefusedWithTheFileNamed) {
    EXPECT_OFFICE_ERROR(Package::openFile((folder_ / "missing.xlsx").string(), "workbook"),
                        ErrorCode::FileNotFound, "missing.xlsx: no such file");

    fs::create_directories(folder_ / "folder.xlsx");
    EXPECT_OFFICE_ERROR(Package::openFile((folder_ / "folder.xlsx").string(), "workbook"),
                        ErrorCode::FileAccess, "folder.xlsx: is a folder, not a workbook");

    EXPECT_OFFICE_ERROR(Package::openFile(writeFile("empty.xlsx", ""), "workbook"),
                        ErrorCode::NotADocument, "empty.xlsx: the file is empty");

    EXPECT_OFFICE_ERROR(
        Package::openFile(writeFile("text.xlsx", "just some text, not a zip"), "workbook"),
        ErrorCode::NotADocument, "text.xlsx: not a workbook: the file is not a zip package");
    EXPECT_OFFICE_ERROR(
        Package::openFile(makeZip("plain.xlsx", {{"readme.txt", "hello"}}), "workbook"),
        ErrorCode::NotADocument,
        "plain.xlsx: not a workbook: the zip holds no [Content_Types].xml");
}

TEST_F(PackageTest, CompoundFilesAreToldApart) {
    const std::string signature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    std::string legacy = signature + std::string(504, '\0');
    EXPECT_OFFICE_ERROR(Package::openFile(writeFile("old.xls", legacy), "workbook"),
                        ErrorCode::LegacyFormat,
                        "old.xls: this is a legacy binary workbook; save it as .xlsx");

    const auto file =
        office::compound::create({{"EncryptionInfo", std::vector<std::uint8_t>(200, 1)},
                                  {"EncryptedPackage", std::vector<std::uint8_t>(5000, 2)}});
    const std::string encrypted(file.begin(), file.end());
    EXPECT_OFFICE_ERROR(Package::openFile(writeFile("secret.xlsx", encrypted), "workbook"),
                        ErrorCode::Encrypted,
                        "secret.xlsx: the workbook is protected by a password");
}

TEST_F(PackageTest, AnEntryThatWouldExpandTooFarIsRefused) {
    // A stored entry whose headers claim far more bytes than it holds: refused from the
    // central directory alone, before anything is inflated.
    const std::string path = makeZip("bomb.xlsx", {{"[Content_Types].xml", kTypes}});
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::uint32_t huge = 0x7FFFFFFF;
    const auto central = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    std::memcpy(&bytes[central + 24], &huge, 4);
    const auto local = bytes.find(std::string("PK\x03\x04", 4));
    std::memcpy(&bytes[local + 22], &huge, 4);
    EXPECT_OFFICE_ERROR(Package::openFile(writeFile("bomb.xlsx", bytes), "workbook"),
                        ErrorCode::TooLarge,
                        "bomb.xlsx: [Content_Types].xml: would expand to 2147483647 bytes");
}

TEST_F(PackageTest, MalformedXmlNamesPartAndOffset) {
    auto package = Package::openFile(
        makeZip("broken.pkg", {{"[Content_Types].xml", kTypes}, {"doc/main.xml", "<a><b></a>"}}),
        "document");
    EXPECT_OFFICE_ERROR(package.xml("doc/main.xml"), ErrorCode::CorruptPart,
                        "broken.pkg: doc/main.xml: start-end tags mismatch at offset 8");
    EXPECT_OFFICE_ERROR(package.read("doc/none.xml"), ErrorCode::CorruptPart,
                        "broken.pkg: doc/none.xml: the part does not exist");
}

TEST_F(PackageTest, FailedSaveLeavesTheEarlierFileAndNoTemporary) {
    const std::string path = makeDocument("keep.pkg");
    const auto before = fs::file_size(path);
    auto package = Package::openFile(path, "document");
    EXPECT_OFFICE_ERROR(package.saveFile((folder_ / "no-such-folder" / "out.pkg").string()),
                        ErrorCode::WriteFailed,
                        "out.pkg: cannot be written: no file can be made in");
    // A folder as target.
    EXPECT_OFFICE_ERROR(package.saveFile(folder_.string()), ErrorCode::WriteFailed,
                        folder_.filename().string() + ": cannot be written: it is a folder");
    EXPECT_EQ(fs::file_size(path), before);
    for (const auto& entry : fs::directory_iterator(folder_)) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos)
            << entry.path();
    }
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The parts are read from the file while the package is open; a file that another program
// rewrites in place meanwhile must not be mixed into what was read before, nor saved from.
TEST_F(PackageTest, AFileRewrittenInPlaceWhileOpenIsNeitherReadNorSaved) {
    const std::string path = makeDocument("shared.pkg");
    auto package = Package::openFile(path, "document");
    package.xml("doc/main.xml").document_element().append_child("b");
    package.markDirty("doc/main.xml");
    const std::string output = (folder_ / "out.pkg").string();
    package.saveFile(output);
    const std::string saved = readBytes(output);

    std::ofstream(path, std::ios::binary | std::ios::app) << "written by another program";
    for (const auto& attempt :
         {std::function<void()>([&] { package.read("doc/media/image1.bin"); }),
          std::function<void()>([&] { package.saveFile(output); })}) {
        EXPECT_OFFICE_ERROR(attempt(), ErrorCode::FileAccess,
                            "shared.pkg: was changed by another program while it was open; "
                            "open it again");
    }
    EXPECT_EQ(readBytes(output), saved);  // the earlier output stays as it was
}

// Office suites (and this package) save by writing a new file and renaming it over the old
// one: a package that is open keeps reading the file it opened, and can save over its own path
// again and again.
TEST_F(PackageTest, AFileReplacedWhileOpenKeepsTheOpenedOne) {
    const std::string path = makeDocument("report.pkg");
    auto package = Package::openFile(path, "document");
    package.xml("doc/main.xml").document_element().append_child("b");
    package.markDirty("doc/main.xml");
    package.saveFile(path);
    package.xml("doc/main.xml").document_element().append_child("c");
    package.markDirty("doc/main.xml");
    package.saveFile(path);

    const std::string other = makeZip("other.pkg", {{"[Content_Types].xml", kTypes}});
    fs::rename(other, path);
    EXPECT_EQ(package.read("doc/media/image1.bin"), std::string("\0\1\2binary", 9));
    package.saveFile(path);
    const auto reopened = Package::openFile(path, "document");
    EXPECT_EQ(reopened.read("doc/main.xml"),
              "<?xml version=\"1.0\"?>\r\n<main><a> </a><b/><c/></main>");
    EXPECT_EQ(reopened.read("doc/media/image1.bin"), std::string("\0\1\2binary", 9));
}

// Sets TMPDIR for the life of the object.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const fs::path& folder) {
        if (const char* old = std::getenv("TMPDIR")) {
            old_ = old;
        }
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TemporaryFolder() {
        if (old_) {
            ::setenv("TMPDIR", old_->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

private:
    std::optional<std::string> old_;
};

// The files this process holds open that were deleted from `folder`.
int deletedFilesOpenIn(const fs::path& folder) {
    int count = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        count += !ec && target.starts_with(folder.string() + "/") && target.ends_with(" (deleted)");
    }
    return count;
}

// Changed parts of a package opened from a file wait for the save in an unlinked temporary
// file, so nothing is left behind; without a usable temporary folder they stay in memory.
TEST_F(PackageTest, ChangedPartsWaitInAnUnlinkedFileOrInMemory) {
    const fs::path spoolFolder = folder_ / "spool";
    fs::create_directories(spoolFolder);
    for (const fs::path& temporary : {spoolFolder, folder_ / "no-such-folder"}) {
        SCOPED_TRACE(temporary.string());
        const TemporaryFolder scope(temporary);
        {
            auto package = Package::openFile(makeDocument(), "document");
            package.write("doc/embeddings/book1.xlsx", std::string(5000, 'x'));
            package.write("doc/new.xml", "<new>" + std::string(5000, 'y') + "</new>");
            package.xml("doc/main.xml").document_element().append_child("b");
            package.markDirty("doc/main.xml");
            package.release("doc/main.xml");
            EXPECT_EQ(package.read("doc/new.xml"), "<new>" + std::string(5000, 'y') + "</new>");
            EXPECT_EQ(deletedFilesOpenIn(spoolFolder), temporary == spoolFolder ? 1 : 0);
            EXPECT_TRUE(fs::is_empty(spoolFolder));
            package.saveFile((folder_ / "out.pkg").string());
        }
        EXPECT_EQ(deletedFilesOpenIn(spoolFolder), 0);
        const auto reopened = Package::openFile((folder_ / "out.pkg").string(), "document");
        EXPECT_EQ(reopened.read("doc/embeddings/book1.xlsx"), std::string(5000, 'x'));
        EXPECT_EQ(reopened.read("doc/new.xml"), "<new>" + std::string(5000, 'y') + "</new>");
        EXPECT_EQ(reopened.read("doc/main.xml"),
                  "<?xml version=\"1.0\"?>\r\n<main><a> </a><b/></main>");
    }
}

// Unchanged parts keep the compression they came with: a stored part is not deflated at save.
TEST_F(PackageTest, UnchangedPartsKeepTheirCompression) {
    const std::string path = (folder_ / "mixed.pkg").string();
    {
        int error = 0;
        zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        const std::string stored = "<stored>" + std::string(2000, 's') + "</stored>";
        const std::string deflated = "<deflated>" + std::string(2000, 'd') + "</deflated>";
        zip_file_add(zip, "[Content_Types].xml",
                     zip_source_buffer(zip, kTypes, std::strlen(kTypes), 0), 0);
        const auto s = zip_file_add(zip, "stored.xml",
                                    zip_source_buffer(zip, stored.data(), stored.size(), 0), 0);
        zip_set_file_compression(zip, static_cast<zip_uint64_t>(s), ZIP_CM_STORE, 0);
        zip_file_add(zip, "deflated.xml",
                     zip_source_buffer(zip, deflated.data(), deflated.size(), 0), 0);
        ASSERT_EQ(zip_close(zip), 0);
    }
    auto package = Package::openFile(path, "document");
    package.write("new.xml", "<new>" + std::string(2000, 'n') + "</new>");
    const std::string out = (folder_ / "out.pkg").string();
    package.saveFile(out);

    int error = 0;
    zip_t* zip = zip_open(out.c_str(), ZIP_RDONLY, &error);
    ASSERT_NE(zip, nullptr);
    const std::map<std::string, zip_uint16_t> methods = {{"stored.xml", ZIP_CM_STORE},
                                                         {"deflated.xml", ZIP_CM_DEFLATE},
                                                         {"new.xml", ZIP_CM_DEFLATE}};
    for (const auto& [name, method] : methods) {
        zip_stat_t st;
        ASSERT_EQ(zip_stat(zip, name.c_str(), 0, &st), 0) << name;
        EXPECT_EQ(st.comp_method, method) << name;
        EXPECT_LT(st.comp_size, method == ZIP_CM_STORE ? st.size + 1 : st.size / 10) << name;
    }
    zip_discard(zip);
    EXPECT_EQ(Package::openFile(out, "document").read("new.xml"),
              "<new>" + std::string(2000, 'n') + "</new>");
}

TEST(PackageXml, UnsafeCharactersAreDropped) {
    using office::package::xmlSafe;
    EXPECT_EQ(xmlSafe("a\x01"
                      "b\tc\n"),
              "ab\tc\n");
    EXPECT_EQ(xmlSafe("caf\xC3\xA9 \xE6\xA8\xA1"), "caf\xC3\xA9 \xE6\xA8\xA1");
    EXPECT_EQ(xmlSafe("bad\xFF\xC3"), "bad");
    EXPECT_EQ(xmlSafe("\xEF\xBF\xBFx"), "x");
    EXPECT_EQ(xmlSafe("\xED\xA0\x80y"), "y");  // a surrogate, which UTF-8 may not carry
}

}  // namespace
