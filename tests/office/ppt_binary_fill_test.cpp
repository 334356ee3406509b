// Filled objects of PowerPoint 97-2003 presentations (.ppt): the new storages and pictures that
// the Graph and workbook code put back, saved in place as a new edit and read back by an
// independent reader (ppt_binary_listing.py) and LibreOffice; bad picture stores and storages.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <atomic>
#include <regex>

#include "graph_support.h"
#include "office/excel.h"
#include "office/powerpoint.h"
#include "ppt_test_support.h"
#include "support/office_error.h"
#include "support/ppt_binary.h"

namespace {

namespace fs = std::filesystem;
using office::ErrorCode;
using office::compound::Bytes;
using office::ppt::Application;

// A picture drawn by Qt, of a size and colour of its own for each seed.
std::string drawnPng(int seed) {
    QImage image(40 + seed, 30, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((seed * 47) % 360, 200, 220));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

std::string md5(const std::string& bytes) {
    const auto hash = QCryptographicHash::Md5;
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), hash).toHex().toStdString();
}

// The top-level shapes that show an object, with their slide's index.
std::vector<std::pair<int, std::shared_ptr<office::ppt::Shape>>> objectShapes(
    office::ppt::Presentation& deck) {
    std::vector<std::pair<int, std::shared_ptr<office::ppt::Shape>>> found;
    for (int s = 1; s <= deck.Slides()->Count(); ++s) {
        auto shapes = deck.Slides()->Item(s)->Shapes();
        for (int i = 1; i <= shapes->Count(); ++i) {
            try {
                shapes->Item(i)->OLEFormat()->ProgID();
                found.emplace_back(s, shapes->Item(i));
            } catch (const office::Error&) {  // no object
            }
        }
    }
    return found;
}

const fs::path kTika =
    fs::path(TABULON_REALWORLD_DIR) / "ppt" / "tika__testMSChart-govdocs-428996.ppt";

TEST(PptFill, ReplacedObjectsAreSavedAsANewEditWithTheirPictures) {
    const auto files = ppt_binary::corpus();
    if (files.empty()) {
        GTEST_SKIP() << "the real-world corpus is absent: " << TABULON_REALWORLD_DIR;
    }
    const fs::path folder = ppt_test::scratch();
    std::vector<fs::path> saved;
    std::vector<int> slides;
    int seed = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        auto app = Application::Create();
        auto deck = app->Presentations()->Open(file.string());
        std::string expected;
        for (const auto& [slide, shape] : objectShapes(*deck)) {
            auto site = *shape->OLEFormat()->LegacySite();
            EXPECT_EQ(site.where, file.filename().string() + ": slide " + std::to_string(slide) +
                                      ", shape \"" + shape->Name() + "\"");
            if (!site.progId.starts_with("MSGraph.Chart") && !site.progId.starts_with("Excel")) {
                EXPECT_OFFICE_ERROR(shape->OLEFormat()->Object(), ErrorCode::NotSupported,
                                    site.where + ": the object (" + site.progId +
                                        ") is neither a Graph chart nor an Excel worksheet");
            }
            // The same object with one stream more, and a picture of its own.
            const std::string png = drawnPng(++seed);
            const Bytes storage = office::compound::File::openBytes(site.storage(), "object")
                                      .rewrite({{"Tabulon", Bytes(png.begin(), png.end())}});
            site.replace(storage, png);
            EXPECT_EQ(site.storage(), storage) << "read back as replaced before any save";
            expected += "object " + std::to_string(slide) + " " + std::to_string(shape->Id()) +
                        " new blip 6 " + md5(png) + " storage " +
                        md5(std::string(storage.begin(), storage.end())) + "\n";
        }
        const fs::path output = folder / file.filename();
        deck->SaveAs(output.string());
        slides.push_back(deck->Slides()->Count());
        saved.push_back(output);
        if (auto theirs = ppt_binary::independentListing(output, "objects")) {
            EXPECT_EQ(*theirs, expected);
        }
        // Appended, as a fast save: the template's document stream begins the output's.
        const auto stream = [](const fs::path& path) {
            return office::compound::File::openFile(path.string())
                .readStream("PowerPoint Document");
        };
        const Bytes before = stream(file);
        EXPECT_TRUE(std::equal(before.begin(), before.end(), stream(output).begin()));
    }
    if (auto pages = ppt_binary::pagesDrawn(folder, saved)) {
        EXPECT_EQ(*pages, slides) << "LibreOffice draws every slide of every output";
    }
    // The size is the one that PowerPoint gives the same chart in the deck saved as .pptx.
    const auto same = ppt_test::zipEntry(
        std::string(TABULON_REALWORLD_DIR) + "/pptx-ole/tika__testMSChart-govdocs-428996.pptx",
        "ppt/slides/slide1.xml");
    std::smatch size;
    ASSERT_TRUE(same &&
                std::regex_search(
                    *same, size, std::regex("graphicFrame>.*?<a:ext cx=\"(\\d+)\" cy=\"(\\d+)\"")));
    auto deck = Application::Create()->Presentations()->Open(kTika.string());
    const auto site = objectShapes(*deck).front().second->OLEFormat()->LegacySite();
    EXPECT_EQ(std::to_string(site->cx) + " " + std::to_string(site->cy),
              size[1].str() + " " + size[2].str());
}

// A picture is drawn once it is final, perhaps on another thread: an object replaced twice
// shows its last picture, and the first is never drawn; a drawing that fails or gives no PNG
// fails the save, which then writes nothing, and the next save draws it again.
TEST(PptFill, PicturesAreDrawnOnceFinalAndAFailedDrawingFailsTheSave) {
    if (!fs::exists(kTika)) {
        GTEST_SKIP() << "the real-world corpus is absent: " << TABULON_REALWORLD_DIR;
    }
    const fs::path path = ppt_test::scratch() / "drawn.ppt";
    fs::copy_file(kTika, path);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    auto deck = Application::Create()->Presentations()->Open(path.string());
    auto site = *objectShapes(*deck).front().second->OLEFormat()->LegacySite();
    std::atomic<int> drawings = 0;
    const std::string last = drawnPng(3);
    site.replaceLater(site.storage(), [&] {
        ++drawings;
        return drawnPng(2);
    });
    site.replaceLater(site.storage(), [&] {
        if (++drawings == 1) {
            throw office::Error(ErrorCode::WriteFailed, "the drawing failed");
        }
        return last;
    });
    const std::string before = ppt_test::readFile(path);
    EXPECT_OFFICE_ERROR(deck->Save(), ErrorCode::WriteFailed, "the drawing failed");
    EXPECT_EQ(ppt_test::readFile(path), before);
    deck->Save();
    EXPECT_EQ(drawings, 2) << "the first picture is never drawn";
    if (auto listing = ppt_binary::independentListing(path, "objects")) {
        EXPECT_NE(listing->find(" new blip 6 " + md5(last) + " "), std::string::npos) << *listing;
    }
    site.replaceLater(site.storage(), [] { return std::string("GIF89a"); });
    EXPECT_OFFICE_ERROR(deck->Save(), ErrorCode::InvalidArgument,
                        site.where + ": the object's new picture is no PNG");
}

// The offset of the first record of that type (and version, when given) in the stream.
std::size_t recordAt(const Bytes& stream, std::uint16_t type, int version = -1) {
    std::size_t at = 0;
    while (at + 8 <= stream.size() && ((stream[at + 2] | (stream[at + 3] << 8)) != type ||
                                       (version >= 0 && (stream[at] & 0xF) != version))) {
        ++at;
    }
    return at;
}

TEST(PptFill, StoresAndStoragesThatDoNotAddUpFailNamingSlideAndShape) {
    if (!fs::exists(kTika)) {
        GTEST_SKIP() << "the real-world corpus is absent: " << TABULON_REALWORLD_DIR;
    }
    const fs::path folder = ppt_test::scratch();
    auto app = Application::Create();
    auto siteOf = [&](const std::string& name, const std::function<void(Bytes&)>& change) {
        auto path =
            ppt_binary::damaged(kTika, folder / name, [&](Bytes&, Bytes& doc) { change(doc); });
        auto deck = app->Presentations()->Open(path.string());
        return *objectShapes(*deck).front().second->OLEFormat()->LegacySite();
    };
    auto site = siteOf("counted.ppt", [](Bytes& doc) { doc[recordAt(doc, 0xF001, 0xF)] += 0x10; });
    const std::string where = "counted.ppt: slide 1, shape \"Object 6146\": ";
    EXPECT_OFFICE_ERROR(site.replace(site.storage(), drawnPng(1)), ErrorCode::CorruptPart,
                        where + "the blip store counts 4 entries but holds 3");
    EXPECT_OFFICE_ERROR(site.replace(site.storage(), "GIF89a"), ErrorCode::InvalidArgument,
                        where + "the object's new picture is no PNG");
    EXPECT_OFFICE_ERROR(site.replace(Bytes(600, 7), drawnPng(1)), ErrorCode::InvalidArgument,
                        where + "the object's new storage is no compound file");
    // Nothing of the failed calls is kept: the next save appends no edit.
    app->ActivePresentation()->Save();
    EXPECT_NE(ppt_binary::independentListing(folder / "counted.ppt")
                  .value_or("edits 1\n")
                  .find("edits 1\n"),
              std::string::npos);

    // LibreOffice counts one entry in every store it writes: such a store takes the picture.
    auto libre = siteOf("libre.ppt", [](Bytes& doc) { doc[recordAt(doc, 0xF001, 0xF)] = 0x1F; });
    EXPECT_NO_THROW(libre.replace(libre.storage(), drawnPng(1)));
    EXPECT_OFFICE_ERROR(siteOf("broken.ppt",
                               [](Bytes& doc) {
                                   std::fill_n(
                                       doc.begin() + static_cast<long>(recordAt(doc, 0x1011)) + 20,
                                       40, 0x5A);
                               })
                            .storage(),
                        ErrorCode::CorruptPart,
                        "broken.ppt: slide 1, shape \"Object 6146\": the compressed storage does "
                        "not inflate to its");
    EXPECT_OFFICE_ERROR(
        siteOf("bomb.ppt",
               [](Bytes& doc) { ppt_binary::put32(doc, recordAt(doc, 0x1011) + 8, 1u << 28); })
            .storage(),
        ErrorCode::CorruptPart,
        "bomb.ppt: slide 1, shape \"Object 6146\": the compressed storage claims 268435456 bytes");
    EXPECT_OFFICE_ERROR(
        siteOf("linked.ppt", [](Bytes& doc) { doc[recordAt(doc, 0x0FCC, 0xF) + 2] = 0xCE; }),
        ErrorCode::NotSupported,
        "linked.ppt: slide 1, shape \"Object 6146\": the object (MSGraph.Chart.8) is linked to a "
        "file outside the presentation");
}

// Fills a linked Graph chart and Excel worksheet as the engine does, from blocks with more and with
// fewer series and categories than they hold, and finds the blocks in the objects.
TEST(PptFill, GraphAndExcelObjectsFillFromBlocksLargerAndSmaller) {
    if (!fs::exists(kTika)) {
        GTEST_SKIP() << "the real-world corpus is absent: " << TABULON_REALWORLD_DIR;
    }
    const fs::path folder = ppt_test::scratch();
    std::vector<fs::path> saved;
    std::vector<int> slides;
    for (const std::string name :
         {"tika__testMSChart-govdocs-428996.ppt", "poi__ole2-embedding-2003.ppt"}) {
        const fs::path linked = ppt_binary::copyOf(kTika.parent_path() / name, folder, name);
        auto app = Application::Create();
        auto deck = app->Presentations()->Open(linked.string());
        auto [index, shape] = objectShapes(*deck).back();
        deck->Slides()->Item(index)->SetName("Sales");
        deck->Slides()->Item(index)->Tags()->Add("Name", shape->Name());
        deck->Slides()->Item(index)->Tags()->Add("Type", "Chart");
        deck->Save();
        for (const auto& data : {graph_test::block(6, 6), graph_test::block(3, 3)}) {
            auto excel = office::excel::Application::Create();
            auto source =
                excel->Workbooks()->Open(std::string(TABULON_FIXTURES_DIR) + "/xlsx/basic.xlsx");
            auto sheet = source->Worksheets()->Item(1);
            std::vector<std::string> cells;
            for (int r = 0; r < data.rows; ++r) {
                for (int c = 0; c < data.columns; ++c) {
                    const auto& value =
                        data.cells[static_cast<std::size_t>(r * data.columns + c)].value;
                    sheet->Cells(r + 1, c + 1)->SetValue(value);
                    if (!value.isEmpty()) {
                        cells.push_back(" " + std::to_string(r) + "," + std::to_string(c) + "=" +
                                        value.toString());
                    }
                }
            }
            auto block = sheet->Range(sheet->Cells(1, 1), sheet->Cells(data.rows, data.columns));
            if (shape->OLEFormat()->ProgID().starts_with("MSGraph")) {
                block->Copy();
                auto chart = office::As<office::graph::Application>(
                    shape->OLEFormat()->Object()->GetProperty("Application"));
                chart->DataSheet()->Cells(1, 1)->CallMethod("Paste");
                chart->Update();
                chart->Quit();
            } else {
                auto book = office::As<office::excel::Workbook>(shape->OLEFormat()->Object());
                block->Copy(book->Worksheets()->Item(1)->Range("A1"));
                book->Close();
            }
            excel->Quit();
            saved.push_back(folder / (std::to_string(data.rows) + name));
            deck->SaveAs(saved.back().string());
            slides.push_back(deck->Slides()->Count());
            const std::string line =
                ppt_binary::independentListing(saved.back(), "cells").value_or("");
            // Each object holds the block; what lay beyond a smaller block stays, as the leftovers
            // the run reports.
            EXPECT_TRUE(std::regex_search(
                line,
                std::regex("object " + std::to_string(index) + " " + std::to_string(shape->Id()) +
                           " new blip 6 [0-9a-f]{32} storage [0-9a-f]{32}")))
                << line;
            for (const auto& cell : cells) {
                EXPECT_NE(line.find(cell), std::string::npos) << cell;
            }
        }
        app->Quit();
    }
    if (auto pages = ppt_binary::pagesDrawn(folder, saved)) {
        EXPECT_EQ(*pages, slides) << "LibreOffice draws every slide of every output";
    }
}

}  // namespace
