// Graph chart objects filled in their own records, as a .ppt keeps them: the objects of the
// corpus, filled through a legacy site with blocks of more and of fewer series and categories
// than they hold, read back by our reader and by an independent one
// (tests/fixtures/msgraph/read_graph.py, over python3-olefile); objects whose records lie.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <set>

#include "msgraph_support.h"
#include "office/clipboard.h"
#include "office/graph.h"
#include "office/graph/msgraph/native_chart.h"
#include "office/graph/msgraph/records.h"
#include "office/ppt/binary/deck.h"
#include "office/ppt/object_site.h"
#include "support/office_error.h"
#include "support/validator.h"

namespace {

namespace mg = office::graph::msgraph;
namespace fs = std::filesystem;
using office::ErrorCode;
using office::compound::Bytes;

const std::string kWhere = "deck.ppt: slide 2, shape \"Chart 3\"";

struct Corpus {
    std::string name;
    Bytes storage;
};

// The Graph objects of the corpus: the storages of the .ppt files as the presentation reader
// gives them, and the OLE parts of the .pptx files.
std::vector<Corpus> corpusObjects() {
    std::vector<Corpus> out;
    const fs::path root(TABULON_REALWORLD_DIR);
    for (const char* folder : {"ppt", "pptx-ole"}) {
        if (!fs::is_directory(root / folder)) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(root / folder)) {
            const std::string file = entry.path().string();
            if (file.ends_with(".pptx")) {
                auto package = office::package::Package::openFile(file, "presentation");
                for (const std::string& part : package.partNames()) {
                    if (office::detail::recogniseProgId(package, part).starts_with("MSGraph")) {
                        const std::string raw = package.read(part);
                        out.push_back({file + ":" + part, Bytes(raw.begin(), raw.end())});
                    }
                }
                continue;
            }
            auto deck = office::ppt::binary::Deck::open(office::compound::File::openFile(file));
            for (std::size_t slide = 0; slide < deck->slideCount(); ++slide) {
                for (const auto& shape : deck->shapes(slide)) {
                    const auto* object = shape.objectId ? deck->object(*shape.objectId) : nullptr;
                    if (object && object->progId.starts_with("MSGraph")) {
                        out.push_back(
                            {file + ":" + shape.name, deck->objectStorage(object->objectId)});
                    }
                }
            }
        }
    }
    return out;
}

struct Replaced {
    Bytes storage;
    int times = 0;
};

office::detail::LegacyObjectSite siteOf(const Bytes& storage, Replaced& replaced) {
    office::detail::LegacyObjectSite site;
    site.progId = "MSGraph.Chart.8";
    site.where = kWhere;
    site.cx = 4572000;
    site.cy = 3429000;
    site.storage = [storage] { return storage; };
    site.replace = [&replaced](Bytes bytes, const std::string&) {
        replaced.storage = std::move(bytes);
        ++replaced.times;
    };
    return site;
}

// A block laid out as the data sheet shows it: category names in the first line, series names
// (one in Chinese) in the first column of the other lines, values series * 100 + category, one
// of them in a format of its own.
office::CellBlock blockOf(bool seriesInRows, int series, int categories) {
    office::CellBlock block;
    block.rows = seriesInRows ? series + 1 : categories + 1;
    block.columns = seriesInRows ? categories + 1 : series + 1;
    for (int r = 0; r < block.rows; ++r) {
        for (int c = 0; c < block.columns; ++c) {
            const int s = seriesInRows ? r : c;
            const int k = seriesInRows ? c : r;
            office::ClipCell cell;
            if (s == 0 && k > 0) {
                cell.value = office::Value::text("Q" + std::to_string(k));
            } else if (k == 0 && s > 0) {
                cell.value =
                    office::Value::text(s == 1 ? "东部地区" : "Region " + std::to_string(s));
            } else if (s > 0) {
                cell.value = office::Value::number(s * 100 + k);
                cell.numberFormat = s == 1 && k == 1 ? "0.0\" t\"" : "General";
            }
            block.cells.push_back(cell);
        }
    }
    return block;
}

QJsonObject independentRead(const Bytes& storage) {
    // A directory of its own: ctest runs the tests of this file side by side.
    const QTemporaryDir dir;
    const fs::path file = fs::path(dir.path().toStdString()) / "graph_storage.bin";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(storage.data()),
               static_cast<std::streamsize>(storage.size()));
    const auto result = tabulon::testing::runCommand("/usr/bin/python3 '" TABULON_SOURCE_DIR
                                                     "/tests/fixtures/msgraph/read_graph.py' '" +
                                                     file.string() + "'");
    EXPECT_EQ(result.status, 0) << result.output;
    return QJsonDocument::fromJson(QByteArray::fromStdString(result.output))
        .object()["storage"]
        .toObject();
}

int dataSeries(const QJsonObject& read) {
    int count = 0;
    for (const auto& points : read["points"].toArray()) {
        count += points.isNull() ? 0 : 1;
    }
    return count;
}

TEST(MsGraphLegacy, CorpusObjectsTakeBlocksOfMoreAndFewerSeriesInTheirOwnRecords) {
    if (std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3-olefile is not installed";
    }
    const std::vector<Corpus> objects = corpusObjects();
    if (objects.empty()) {
        GTEST_SKIP() << "the corpus of " TABULON_REALWORLD_DIR " is absent";
    }
    for (const Corpus& object : objects) {
        const auto original = office::compound::File::openBytes(object.storage, object.name);
        const mg::GraphChart before =
            mg::readGraphChart(original.readStream("Workbook"), object.name);
        const QJsonObject theirsBefore = independentRead(object.storage);
        const int oldSeries = dataSeries(theirsBefore);
        const int oldCategories = mg::dataLayout(before.sheet, "Sheet1").categoryCount();
        for (const auto& [series, categories] :
             {std::pair{oldSeries + 2, oldCategories + 1}, std::pair{1, 2}}) {
            SCOPED_TRACE(object.name + ": " + std::to_string(series) + " x " +
                         std::to_string(categories));
            Replaced replaced;
            auto app = office::As<office::graph::Application>(
                office::detail::openLegacyGraphObject(siteOf(object.storage, replaced))
                    ->GetProperty("Application"));
            const office::CellBlock block = blockOf(before.sheet.seriesInRows, series, categories);
            office::Clipboard::instance().set(block);
            app->DataSheet()->Cells(1, 1)->Paste();
            app->Update();
            app->Quit();
            ASSERT_EQ(replaced.times, 1);

            // The cached pictures are gone, the other streams kept; the records read back.
            const auto written = office::compound::File::openBytes(replaced.storage, "written");
            EXPECT_TRUE(written.cachedPictures().empty());
            EXPECT_EQ(written.readStream("\1CompObj"), original.readStream("\1CompObj"));
            const mg::GraphChart after =
                mg::readGraphChart(written.readStream("Workbook"), "written");
            for (int r = 0; r < block.rows; ++r) {
                for (int c = 0; c < block.columns; ++c) {
                    const auto it = after.sheet.cells.find({r + 1, c + 1});
                    const office::Value& want = block.at(r, c).value;
                    ASSERT_EQ(it != after.sheet.cells.end(),
                              want.kind() != office::Value::Kind::Empty);
                    if (it != after.sheet.cells.end()) {
                        EXPECT_EQ(it->second.value.toString(), want.toString());
                    }
                }
            }
            EXPECT_EQ(after.sheet.cells.at({2, 2}).numberFormat, "0.0\" t\"");

            // The independent reader sees the same cells, the series grown to the block (never
            // shrunk: the old data beyond the block stays), each with the categories of both.
            const QJsonObject theirs = independentRead(replaced.storage);
            const QJsonObject cells = theirs["cells"].toObject();
            EXPECT_EQ(static_cast<std::size_t>(cells.size()), after.sheet.cells.size());
            for (const QString& key : cells.keys()) {
                const auto at = key.split(',');
                const office::Value& ours =
                    after.sheet.cells.at({at[0].toInt(), at[1].toInt()}).value;
                EXPECT_EQ(cells[key].isString()
                              ? cells[key].toString().toStdString()
                              : office::Value::number(cells[key].toDouble()).toString(),
                          ours.toString())
                    << key.toStdString();
            }
            EXPECT_EQ(dataSeries(theirs), std::max(series, oldSeries));
            for (const auto& points : theirs["points"].toArray()) {
                EXPECT_TRUE(points.isNull() ||
                            points.toInt() == std::max(categories, oldCategories));
            }
            EXPECT_TRUE(theirs["excludedRows"].toArray().isEmpty());
            EXPECT_TRUE(theirs["excludedColumns"].toArray().isEmpty());
            // A new series takes the palette's next colour, as its own or as Graph's automatic one.
            if (series > oldSeries) {
                const int k = series - 1;
                const int index = static_cast<int>(after.look.series.size()) - 1;
                const bool lines = after.look.kind == mg::Kind::Line;
                const mg::SeriesFormat& added = after.look.series.back();
                const mg::Paint& paint = lines ? added.line : added.fill;
                const mg::Rgb automatic =
                    lines ? after.automaticLine(index) : after.automaticFill(index);
                EXPECT_NE(paint.mode, mg::Paint::Mode::None);
                EXPECT_EQ(paint.mode == mg::Paint::Mode::Explicit ? paint.color : automatic,
                          lines ? after.automaticLine(k) : after.automaticFill(k));
            } else {
                const office::graph::Leftovers left = app->LeftoverData();
                EXPECT_FALSE(left.series.empty() && left.categories.empty());
            }
        }
    }
}

// A row left out of the chart stays left out: the block's series go into the rows around it, as
// for a native chart, every one of them shown; the title takes its caption.
TEST(MsGraphLegacy, ExcludedRowsStayExcluded) {
    if (std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3-olefile is not installed";
    }
    Replaced replaced;
    const Bytes storage =
        office::compound::create({{"Workbook", msgraph_test::lineChartWithLook().bytes()}});
    auto app = office::As<office::graph::Application>(
        office::detail::openLegacyGraphObject(siteOf(storage, replaced))
            ->GetProperty("Application"));
    office::Clipboard::instance().set(blockOf(true, 4, 3));
    app->DataSheet()->Cells(1, 1)->Paste();
    app->Chart()->ChartTitle()->SetCaption("月度 Umsatz");
    app->Update();
    const QJsonObject theirs = independentRead(replaced.storage);
    EXPECT_EQ(theirs["title"].toString().toStdString(), "月度 Umsatz");
    EXPECT_EQ(theirs["excludedRows"].toArray(), QJsonArray({3, 5, 7}));
    EXPECT_EQ(dataSeries(theirs), 4);
    const auto written = office::compound::File::openBytes(replaced.storage, "written");
    const mg::GraphChart after = mg::readGraphChart(written.readStream("Workbook"), "written");
    EXPECT_EQ(after.sheet.excludedRows, std::set<int>({3, 5, 7}));
    EXPECT_EQ(after.sheet.cells.at({3, 2}).value.asNumber(), 21);  // the excluded row's own
    EXPECT_EQ(after.sheet.cells.at({4, 4}).value.asNumber(), 203);
    EXPECT_EQ(after.sheet.cells.at({8, 4}).value.asNumber(), 403);
}

TEST(MsGraphLegacy, ObjectsWhoseRecordsLieFailNamingTheShapeAndReplaceNothing) {
    using namespace msgraph_test;
    auto storageOf = [](const Stream& s) {
        return office::compound::create({{"Workbook", s.bytes()}});
    };
    Stream far;
    far.label(0, 1, "A").number(1, 1, 5).number(60000, 200, 1);
    far.add(0x1003, Body().zeros(12)).begin().end();
    far.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6)).end().finish();
    Stream open;  // a series block that never ends
    open.label(0, 1, "A").number(1, 1, 5);
    open.add(0x1003, Body().zeros(12)).begin().add(0x1006, Body().u16(0xFFFF).zeros(6));
    open.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6)).end().finish();
    Bytes cut = open.bytes();
    cut.resize(cut.size() - 3);

    Replaced replaced;
    EXPECT_OFFICE_ERROR(office::detail::openLegacyGraphObject(siteOf(storageOf(far), replaced)),
                        ErrorCode::CorruptPart,
                        kWhere + ": the chart object's data sheet claims cells up to row 60001");
    EXPECT_OFFICE_ERROR(office::detail::openLegacyGraphObject(
                            siteOf(office::compound::create({{"Workbook", cut}}), replaced)),
                        ErrorCode::CorruptPart, kWhere + ": the chart object's data ends inside");
    EXPECT_OFFICE_ERROR(office::detail::openLegacyGraphObject(siteOf(Bytes(600, 7), replaced)),
                        ErrorCode::NotADocument, kWhere);
    auto app = office::As<office::graph::Application>(
        office::detail::openLegacyGraphObject(siteOf(storageOf(open), replaced))
            ->GetProperty("Application"));
    EXPECT_OFFICE_ERROR(app->Update(), ErrorCode::CorruptPart,
                        kWhere + ": the chart object's record 0x1003 at offset");
    EXPECT_EQ(replaced.times, 0);
}

}  // namespace
