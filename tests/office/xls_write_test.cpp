// Excel 97-2003 objects (Excel.Sheet.8) filled in place: the paste goes into the object's own
// workbook stream, which keeps every record the paste did not touch, and the slide shows a new
// picture. Checked with xlrd (and LibreOffice where it is installed) on the saved deck.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "graph_support.h"
#include "office/binary/records.h"
#include "office/compound/compound_file.h"
#include "office/excel.h"
#include "office/excel/embedded.h"
#include "support/excel97_object.h"
#include "support/office_error.h"

namespace {

using namespace graph_test;
using office::compound::Bytes;

const std::string kFixtures = TABULON_FIXTURES_DIR;

Bytes fixtureStream() {
    return tabulon::testing::workbookStreamOf(kFixtures + "/xls/embedded.xls");
}

Bytes objectStorage(const Bytes& stream) {
    return tabulon::testing::excel97Storage(stream);
}

// A real deck whose .xlsx object is made an Excel 97-2003 object holding `storage`.
std::string excel97Deck(const fs::path& folder, const Bytes& storage) {
    auto document = openDocument(realworld("pptx-ole/python-pptx__shp-access-ole-object.pptx"));
    const auto site = oleSite(document);
    tabulon::testing::makeExcel97Object(document->package, site->slidePart, site->relId, storage);
    const std::string path = (folder / "template.pptx").string();
    document->package.saveFile(path);
    return path;
}

// The records of a stream, each with its header, from `at` to the EOF of its substream.
std::vector<Bytes> records(const Bytes& stream, std::size_t at = 0) {
    std::vector<Bytes> out;
    office::binary::Record record;
    while (office::binary::frameRecord(stream, at, record) == office::binary::Frame::Whole) {
        out.emplace_back(stream.begin() + at, stream.begin() + at + 4 + record.data.size());
        at += 4 + record.data.size();
        if (record.id == 0x000A) {
            break;
        }
    }
    return out;
}

// The records of the sheet named `name`, found through its BOUNDSHEET, without INDEX (whose
// stream offsets move with the sheet).
std::vector<Bytes> sheetRecords(const Bytes& stream, const std::string& name) {
    for (const Bytes& record : records(stream)) {
        if (office::binary::le16(record.data()) == 0x0085 &&
            std::string(record.begin() + 12, record.end()) == name) {
            auto out = records(stream, office::binary::le32(record.data() + 4));
            std::erase_if(out,
                          [](const Bytes& r) { return office::binary::le16(r.data()) == 0x020B; });
            return out;
        }
    }
    return {};
}

std::vector<Bytes> withId(const std::vector<Bytes>& all, std::uint16_t id) {
    std::vector<Bytes> out;
    std::copy_if(all.begin(), all.end(), std::back_inserter(out),
                 [id](const Bytes& r) { return office::binary::le16(r.data()) == id; });
    return out;
}

// What xlrd sees of the filled object's workbook: the block with its look, and what was kept.
void expectSeenByXlrd(const fs::path& object) {
    const auto seen = tabulon::testing::runCommand(
        "/usr/bin/python3 '" + kFixtures + "/xls/read_object.py' '" + object.string() + "'");
    ASSERT_EQ(seen.status, 0) << seen.output;
    const std::string money = R"(_($* #,##0.00_);_($* (#,##0.00);_($* "-"??_);_(@_))";  // 44
    for (const std::string& line : std::vector<std::string>{
             "sheet Table\nsheet Notes\nname Rate\n", "cell 1 1 Quarterly sales | General | bold",
             "cell 2 2 Q1 | General | bold | fill 003366",
             "cell 3 1 North | General | plain | fill none",
             "cell 3 2 182500.5 | " + money + " | plain", "cell 4 3 0 | " + money,
             "cell 1 6 42 | General", "merged 1 1 1 4", "merged 3 6 3 7"}) {
        EXPECT_NE(seen.output.find(line), std::string::npos) << line << "\n" << seen.output;
    }
}

TEST(XlsWrite, FillsAnExcel97ObjectOfADeckInPlace) {
    if (!fs::exists(realworld("pptx-ole/python-pptx__shp-access-ole-object.pptx"))) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    const fs::path folder = scratch();
    const std::string deck = excel97Deck(folder, objectStorage(fixtureStream()));
    auto document = openDocument(deck);
    const auto site = oleSite(document);
    auto book = office::As<office::excel::Workbook>(office::detail::openEmbeddedWorkbook(*site));
    auto app = office::excel::Application::Create();
    auto source = app->Workbooks()->Open(kFixtures + "/xlsx/styled_table.xlsx");
    source->Worksheets()->Item(1)->Range("A1:D5")->Copy(book->Worksheets()->Item(1)->Range("A1"));
    book->Close();
    const fs::path out = folder / "filled.pptx";
    document->package.saveFile(out.string());
    if (validatorPresent()) {
        const auto verdict = validateAgainst(out.string(), deck);
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }

    auto filled = openDocument(out.string());
    const std::string raw = filled->package.read(site->objectPart);
    const Bytes storage(raw.begin(), raw.end());
    const auto file = office::compound::File::openBytes(storage, "object");
    EXPECT_FALSE(file.hasStream("\2OlePres000"));  // it showed the old numbers
    const fs::path object = folder / "object.xls";
    std::ofstream(object, std::ios::binary).write(raw.data(), static_cast<long>(raw.size()));
    if (tabulon::testing::xlrdPresent()) {
        expectSeenByXlrd(object);
    }
    // The slide shows a new picture of the table, the PNG drawn from the filled cells.
    const auto blip = filled->package.xml(site->slidePart).select_node("//p:oleObj//a:blip");
    const auto rels = filled->package.relationships(site->slidePart);
    const auto* rel = rels.find(blip.node().attribute("r:embed").value());
    ASSERT_NE(rel, nullptr);
    EXPECT_TRUE(rel->target.ends_with(".png")) << rel->target;

    // LibreOffice reads the object's workbook too.
    if (std::system("command -v soffice >/dev/null 2>&1") == 0) {
        const auto csv = tabulon::testing::runCommand(
            "cd '" + folder.string() + "' && soffice -env:UserInstallation=file://" +
            folder.string() +
            "/profile --headless --convert-to csv object.xls >/dev/null && cat object.csv");
        EXPECT_NE(csv.output.find("North,"), std::string::npos) << csv.output;
    }
}

// A fill rewrites the sheet it changed and the shared strings, nothing else: the other sheet,
// the defined name and the kept formula are the records they were.
TEST(XlsWrite, KeepsTheRecordsAFillDoesNotChange) {
    const Bytes original = fixtureStream();
    std::vector<Bytes> saved;
    auto book = office::excel::openBinaryWorkbook(original, "embedded.xls",
                                                  [&](office::excel::BinaryWorkbookSave save) {
                                                      saved.push_back(save.stream(std::nullopt));
                                                  });
    auto sheet = book->Worksheets()->Item(1);
    sheet->Range("A2")->SetValue(office::Value::text("Nord-Süd 北"));
    sheet->Range("B3")->SetValue(office::Value::number(1.5));
    sheet->Range("B3")->SetNumberFormat("0.0%");
    book->Save();
    book->Save();
    book->Close();
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0], saved[1]);
    EXPECT_EQ(sheetRecords(saved[0], "Notes"), sheetRecords(original, "Notes"));
    EXPECT_FALSE(sheetRecords(original, "Notes").empty());
    EXPECT_EQ(withId(records(saved[0]), 0x0018), withId(records(original), 0x0018));  // NAME
    EXPECT_EQ(withId(sheetRecords(saved[0], "Table"), 0x0006),
              withId(sheetRecords(original, "Table"), 0x0006));  // FORMULA

    auto again = office::excel::openBinaryWorkbook(saved[0], "saved.xls", nullptr);
    auto table = again->Worksheets()->Item(1);
    EXPECT_EQ(table->Range("A2")->Value().asText(), "Nord-Süd 北");
    EXPECT_EQ(table->Range("B3")->Text(), "150.0%");
    EXPECT_EQ(table->Range("F3")->Value().asText(), "kept");
    EXPECT_EQ(again->Worksheets()->Item(2)->Range("B1")->Value().asNumber(), 0.25);
}

TEST(XlsWrite, RefusesWhatTheFormatCannotHold) {
    if (!fs::exists(realworld("pptx-ole/python-pptx__shp-access-ole-object.pptx"))) {
        GTEST_SKIP() << "../shared/realworld/pptx-ole is absent";
    }
    const fs::path folder = scratch();
    Bytes cut = fixtureStream();
    cut.resize(cut.size() - 40);  // the last sheet has no end
    auto document = openDocument(excel97Deck(folder, objectStorage(cut)));
    const auto site = oleSite(document);
    EXPECT_OFFICE_ERROR(office::detail::openEmbeddedWorkbook(*site), office::ErrorCode::CorruptPart,
                        site->where() + ": Workbook stream: ");

    auto book = office::excel::openBinaryWorkbook(
        fixtureStream(), "embedded.xls",
        [](office::excel::BinaryWorkbookSave save) { save.stream(std::nullopt); });
    book->Worksheets()->Item(1)->Cells(1, 300)->SetValue(office::Value::number(1));
    EXPECT_OFFICE_ERROR(book->Close(), office::ErrorCode::OutOfSheet,
                        "embedded.xls: sheet \"Table\": cell KN1 lies beyond what a workbook of "
                        "Excel 97-2003 holds (65536 rows, 256 columns)");
}

}  // namespace

// Real workbooks of other writers (with charts, shared formulas, rich strings, many sheets)
// come back readable, by our reader and by xlrd, with the written cell and every other sheet.
TEST(XlsWrite, WritesBackRealWorkbooks) {
    const fs::path corpus = realworld("xls");
    if (!fs::exists(corpus)) {
        GTEST_SKIP() << "../shared/realworld/xls is absent";
    }
    const fs::path folder = scratch();
    for (const auto& entry : fs::directory_iterator(corpus)) {
        const std::string name = entry.path().filename().string();
        const Bytes original = tabulon::testing::workbookStreamOf(entry.path().string());
        Bytes saved;
        auto book = office::excel::openBinaryWorkbook(
            original, name,
            [&](office::excel::BinaryWorkbookSave save) { saved = save.stream(std::nullopt); });
        auto sheet = book->Worksheets()->Item(1);
        sheet->Range("A1")->SetValue(office::Value::text("written"));
        sheet->Range("C2")->SetValue(office::Value::number(2.5));
        std::vector<std::string> used;
        for (int i = 1; i <= book->Worksheets()->Count(); ++i) {
            used.push_back(book->Worksheets()->Item(i)->UsedRange()->Address());
        }
        book->Close();
        auto again = office::excel::openBinaryWorkbook(saved, name, nullptr);
        EXPECT_EQ(again->Worksheets()->Item(1)->Range("A1")->Value().asText(), "written") << name;
        for (int i = 2; i <= again->Worksheets()->Count(); ++i) {
            EXPECT_EQ(again->Worksheets()->Item(i)->UsedRange()->Address(), used[i - 1]) << name;
        }
        const fs::path path = folder / name;
        const Bytes file = office::compound::create({{"Workbook", saved}});
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<long>(file.size()));
        if (!tabulon::testing::xlrdPresent()) {
            continue;
        }
        const auto seen = tabulon::testing::runCommand(
            "/usr/bin/python3 '" + kFixtures + "/xls/read_object.py' '" + path.string() + "'");
        EXPECT_EQ(seen.status, 0) << name << "\n" << seen.output;
        EXPECT_NE(seen.output.find("cell 1 1 written"), std::string::npos) << name;
        EXPECT_NE(seen.output.find("cell 2 3 2.5 |"), std::string::npos) << name;
    }
}
