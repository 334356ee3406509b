// PowerPoint 97-2003 presentations (.ppt): the real files of the corpus read as an independent
// reader (tests/office/ppt_binary_listing.py, olefile) reads them, linked and saved in place as
// a fast save, and refused clearly when encrypted, too old or damaged.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "office/compound/compound_file.h"
#include "office/powerpoint.h"
#include "office/ppt/binary/deck.h"
#include "ppt_test_support.h"
#include "support/office_error.h"
#include "support/ppt_binary.h"

namespace {

namespace fs = std::filesystem;
using office::ErrorCode;
using office::compound::Bytes;
using office::ppt::Application;
namespace binary = office::ppt::binary;
using ppt_binary::copyOf;
using ppt_binary::corpus;
using ppt_binary::damaged;
using ppt_binary::put32;
using ppt_binary::u32;

// The independent reading; nothing when olefile is not installed.
std::optional<std::string> theirListing(const fs::path& path) {
    return ppt_binary::independentListing(path);
}

std::string hex(const std::string& text) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        out += {digits[c >> 4], digits[c & 15]};
    }
    return out.empty() ? "-" : out;
}

void listShapes(const binary::Deck& deck, const std::vector<binary::ShapeInfo>& shapes,
                const std::string& word, std::string& out) {
    for (const auto& shape : shapes) {
        out += word + " " + std::to_string(shape.id) + " " +
               (shape.nameStored ? hex(shape.name) : "-");
        if (shape.objectId) {
            const binary::EmbeddedObject* object = deck.object(*shape.objectId);
            out += " " + (object ? hex(object->progId) : "-");
        }
        out += "\n";
        listShapes(deck, shape.members, "member", out);
    }
}

// The file as ppt_binary_listing.py prints it, from our reading of it.
std::string ourListing(const fs::path& path) {
    auto deck = binary::Deck::open(office::compound::File::openFile(path.string()));
    std::string out;
    for (std::size_t i = 0; i < deck->slideCount(); ++i) {
        out += "slide " + std::to_string(deck->slideId(i)) + " " + hex(deck->slideName(i)) + "\n";
        for (const auto& tag : deck->tags(i)) {
            out += "tag " + hex(tag.name) + " " + hex(tag.value) + "\n";
        }
        listShapes(*deck, deck->shapes(i), "shape", out);
    }
    return out + "edits " + std::to_string(deck->editCount()) + "\n";
}

class PptBinary : public ::testing::Test {
protected:
    void SetUp() override {
        files = corpus();
        if (files.empty()) {
            GTEST_SKIP() << "the real-world corpus is absent: " << TABULON_REALWORLD_DIR;
        }
        folder = ppt_test::scratch();
    }
    std::vector<fs::path> files;
    fs::path folder;
};

TEST_F(PptBinary, RealFilesReadAsAnIndependentReaderReadsThem) {
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        if (auto theirs = theirListing(file)) {
            EXPECT_EQ(ourListing(file), *theirs);
        }
        // The object model shows the same slides and top-level shapes, each with a name unique
        // on its slide; Graph charts and Excel objects are recognised by their ProgID.
        auto app = Application::Create();
        auto deck = app->Presentations()->Open(file.string());
        auto reader = binary::Deck::open(office::compound::File::openFile(file.string()));
        ASSERT_EQ(deck->Slides()->Count(), static_cast<int>(reader->slideCount()));
        for (int i = 1; i <= deck->Slides()->Count(); ++i) {
            auto slide = deck->Slides()->Item(i);
            const auto& shapes = reader->shapes(static_cast<std::size_t>(i - 1));
            ASSERT_EQ(slide->Shapes()->Count(), static_cast<int>(shapes.size()));
            std::set<std::string> names;
            for (int j = 1; j <= slide->Shapes()->Count(); ++j) {
                auto shape = slide->Shapes()->Item(j);
                EXPECT_EQ(shape->Id(), shapes[static_cast<std::size_t>(j - 1)].id);
                EXPECT_TRUE(names.insert(shape->Name()).second) << shape->Name();
                if (auto object = shapes[static_cast<std::size_t>(j - 1)].objectId) {
                    // Its storage, compressed or not, is the object's compound file; Excel and
                    // Graph keep their records in its "Workbook" stream.
                    const std::string progId = shape->OLEFormat()->ProgID();
                    auto storage =
                        office::compound::File::openBytes(reader->objectStorage(*object), progId);
                    EXPECT_EQ(storage.hasStream("Workbook"),
                              progId.starts_with("Excel.Sheet") || progId.starts_with("MSGraph"))
                        << progId;
                }
            }
        }
    }
}

Bytes stream(const fs::path& file, const std::string& name) {
    return office::compound::File::openFile(file.string()).readStream(name);
}

// Every stream but the two that a fast save changes, with its bytes, and every storage's
// class id.
std::map<std::string, Bytes> otherContents(const fs::path& file) {
    auto compound = office::compound::File::openFile(file.string());
    std::map<std::string, Bytes> contents;
    for (const auto& entry : compound.entries()) {
        if (entry.storage) {
            contents[entry.path] = Bytes(entry.classId.begin(), entry.classId.end());
        } else if (entry.path != "PowerPoint Document" && entry.path != "Current User") {
            contents[entry.path] = compound.readStream(entry.path);
        }
    }
    return contents;
}

// Links a slide as the window does: the slide takes the sheet's name, tags name the shape.
std::string link(office::ppt::Slide& slide, const std::string& sheet) {
    auto shapes = slide.Shapes();
    std::string shape = shapes->Count() > 0 ? shapes->Item(shapes->Count())->Name() : "none";
    slide.SetName(sheet);
    slide.Tags()->Add("Name", shape);
    slide.Tags()->Add("Type", "Chart");
    return shape;
}

TEST_F(PptBinary, LinksAreSavedInPlaceAsAFastSave) {
    std::vector<std::pair<fs::path, int>> saved;  // with the number of slides
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const fs::path copy = copyOf(file, folder, file.stem().string() + ".ppt");
        const Bytes before = stream(copy, "PowerPoint Document");
        std::size_t edits =
            binary::Deck::open(office::compound::File::openFile(copy.string()))->editCount();
        auto app = Application::Create();
        auto slides = app->Presentations()->Open(copy.string())->Slides();
        const int last = slides->Count();
        const std::string first = link(*slides->Item(1), "Sales 甲");
        const std::string second = link(*slides->Item(last), "Costs");
        auto lastShapes = slides->Item(last)->Shapes();
        const int secondId = lastShapes->Count() ? lastShapes->Item(lastShapes->Count())->Id() : 0;
        app->ActivePresentation()->Save();
        slides->Item(1)->Tags()->Add("NAME", second);  // replaces, whatever the case
        slides->Item(1)->Tags()->Delete("type");
        app->ActivePresentation()->Save();
        app->Quit();

        const Bytes after = stream(copy, "PowerPoint Document");
        ASSERT_GT(after.size(), before.size());
        EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
        EXPECT_EQ(otherContents(copy), otherContents(file));
        if (auto theirs = theirListing(copy)) {
            EXPECT_EQ(ourListing(copy), *theirs);
            EXPECT_NE(theirs->find("edits " + std::to_string(edits + 2)), std::string::npos);
            EXPECT_NE(theirs->find("tag " + hex("NAME") + " " + hex(second) + "\n"),
                      std::string::npos);
            EXPECT_NE(theirs->find("shape " + std::to_string(secondId) + " " + hex(second)),
                      std::string::npos)
                << "the linked shape's name is stored in it";
        }
        auto again = Application::Create()->Presentations()->Open(copy.string())->Slides();
        // A deck of one slide links that slide twice.
        EXPECT_EQ(again->Item(1)->Name(), last > 1 ? "Sales 甲" : "Costs");
        EXPECT_EQ(again->Item(1)->Tags()->Count(), 1);
        EXPECT_EQ(again->Item(last)->Tags()->Item("name"), second);
        EXPECT_EQ(again->Item(last)->Tags()->Item("TYPE"), last > 1 ? "Chart" : "");
        saved.emplace_back(copy, last);
    }
    std::vector<fs::path> decks;
    std::vector<int> slides;
    for (const auto& [file, count] : saved) {
        decks.push_back(file);
        slides.push_back(count);
    }
    const auto pages = ppt_binary::pagesDrawn(folder, decks);
    if (!pages) {
        GTEST_SKIP() << "soffice is not installed: LibreOffice does not read the saved files";
    }
    EXPECT_EQ(*pages, slides) << "LibreOffice draws every slide";
}

TEST_F(PptBinary, SavingRefusesReadOnlyTargetsAndOtherFormats) {
    const fs::path copy = copyOf(files.front(), folder, "deck.pptx");  // known by content
    auto app = Application::Create();
    auto deck = app->Presentations()->Open(copy.string());
    deck->Slides()->Item(1)->SetName("Linked");
    fs::permissions(copy, fs::perms::owner_read);
    const Bytes unchanged = stream(copy, "PowerPoint Document");
    EXPECT_OFFICE_ERROR(deck->Save(), ErrorCode::WriteFailed, "deck.pptx: is read-only");
    EXPECT_EQ(stream(copy, "PowerPoint Document"), unchanged);
    EXPECT_OFFICE_ERROR(deck->SaveAs((folder / "out.pptx").string()), ErrorCode::InvalidArgument,
                        "out.pptx: cannot save as \".pptx\"");
    deck->SaveAs((folder / "out").string());
    EXPECT_EQ(deck->Name(), "out.ppt");
    EXPECT_EQ(
        Application::Create()->Presentations()->Open(deck->FullName())->Slides()->Item(1)->Name(),
        "Linked");
}

// LibreOffice writes no ProgID for its objects: with every ProgID string made one of another
// instance (a CString of instance 2 becomes one of instance 15), the objects read as before,
// named by their storages' class ids or CompObj streams.
TEST_F(PptBinary, ObjectsWithoutAProgIdAreNamedByTheirStorage) {
    for (const fs::path& file : files) {
        const fs::path bare =
            damaged(file, folder / ("bare-" + file.filename().string()), [](Bytes&, Bytes& doc) {
                const Bytes progId = {0x20, 0x00, 0xBA, 0x0F};
                auto at = doc.begin();
                while ((at = std::search(at, doc.end(), progId.begin(), progId.end())) !=
                       doc.end()) {
                    *at++ = 0xF0;
                }
            });
        EXPECT_EQ(ourListing(bare), ourListing(file)) << file;
    }
}

TEST_F(PptBinary, RefusesLockedOldAndDamagedFilesByName) {
    auto open = [](const fs::path& path) {
        Application::Create()->Presentations()->Open(path.string());
    };
    const fs::path& file = files.front();
    EXPECT_OFFICE_ERROR(open(damaged(file, folder / "locked.ppt",
                                     [](Bytes& user, Bytes&) { put32(user, 12, 0xF3D1C4DF); })),
                        ErrorCode::Encrypted, "locked.ppt: the presentation is protected");
    EXPECT_OFFICE_ERROR(open(damaged(file, folder / "old.ppt",
                                     [](Bytes& user, Bytes&) {
                                         user[22] = 0xF0;
                                         user[23] = 2;
                                     })),
                        ErrorCode::LegacyFormat, "old.ppt: this presentation is of PowerPoint 95");
    EXPECT_OFFICE_ERROR(
        open(damaged(
            file, folder / "loop.ppt",
            [](Bytes& user, Bytes& doc) { put32(doc, u32(user, 16) + 16, u32(user, 16)); })),
        ErrorCode::CorruptPart, "loop.ppt: stream \"PowerPoint Document\": offset ");
    EXPECT_OFFICE_ERROR(open(damaged(file, folder / "beyond.ppt",
                                     [](Bytes& user, Bytes&) { put32(user, 16, 0x7FFFFFF0); })),
                        ErrorCode::CorruptPart, "offset 2147483632: a record header runs past");
    const Bytes workbook = office::compound::create({{"Workbook", Bytes(600, 1)}});
    ppt_test::writeFile(folder / "book.ppt", std::string(workbook.begin(), workbook.end()));
    EXPECT_OFFICE_ERROR(open(folder / "book.ppt"), ErrorCode::NotADocument,
                        "book.ppt: not a presentation: the compound file holds no \"PowerPoint "
                        "Document\" stream");
}

}  // namespace
