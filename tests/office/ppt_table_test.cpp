// Native tables: found among the shapes, read, filled, grown and shrunk, and judged by an
// independent reader (tests/fixtures/pptx/read_tables.py, lxml), the package validator and, for
// what is drawn, LibreOffice.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "ppt_test_support.h"
#include "support/office_error.h"

namespace {

using office::ErrorCode;
using namespace office::ppt;
using ppt_test::fixture;
namespace fs = std::filesystem;

struct Session {
    std::shared_ptr<Application> app = Application::Create();
    std::shared_ptr<Presentation> presentation;
    explicit Session(const std::string& path) : presentation(app->Presentations()->Open(path)) {}
    std::shared_ptr<Shape> shape(int slide, int index) {
        return presentation->Slides()->Item(slide)->Shapes()->Item(index);
    }
    std::shared_ptr<Shape> shapeNamed(int slide, const std::string& name) {
        auto shapes = presentation->Slides()->Item(slide)->Shapes();
        for (int i = 1; i <= shapes->Count(); ++i) {
            if (shapes->Item(i)->Name() == name) {
                return shapes->Item(i);
            }
        }
        ADD_FAILURE() << "no shape \"" << name << "\" on slide " << slide;
        return nullptr;
    }
};

// The lines that the independent reader prints for the table `name`, by kind of line.
struct Reading {
    std::map<std::string, std::string> lines;  // "table", "widths", ... to the rest of the line
    std::map<std::string, std::string> cells;  // "2,3" to "TEXT\tLOOK"
    std::string all;
};

Reading independentRead(const std::string& path, int slide, const std::string& name) {
    auto result = ppt_test::run("/usr/bin/python3 " + ppt_test::quoted(fixture("read_tables.py")) +
                                " " + ppt_test::quoted(path));
    EXPECT_EQ(result.status, 0) << result.output;
    Reading reading;
    reading.all = result.output;
    std::istringstream in(result.output);
    const std::string head = std::to_string(slide) + "\t" + name + "\t";
    for (std::string line; std::getline(in, line);) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || line.compare(tab + 1, head.size(), head) != 0) {
            continue;
        }
        const std::string kind = line.substr(0, tab);
        std::string rest = line.substr(tab + 1 + head.size());
        if (kind == "cell") {
            const std::size_t split = rest.find('\t');
            reading.cells[rest.substr(0, split)] = rest.substr(split + 1);
        } else {
            reading.lines[kind] = rest;
        }
    }
    return reading;
}

std::string cellAt(const Reading& reading, int row, int column) {
    auto found = reading.cells.find(std::to_string(row) + "," + std::to_string(column));
    return found == reading.cells.end() ? "<missing>" : found->second;
}

void expectValid(const std::string& saved, const std::string& original) {
    if (!ppt_test::validatorPresent()) {
        return;
    }
    auto result = ppt_test::validateAgainst(saved, original);
    EXPECT_EQ(result.status, 0) << result.output;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> items;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) {
        items.push_back(item);
    }
    return items;
}

long long sum(const std::string& list) {
    long long total = 0;
    for (const std::string& item : split(list)) {
        total += std::stoll(item);
    }
    return total;
}

CellTexts numbered(int rows, int columns, const std::string& prefix) {
    CellTexts texts(rows, std::vector<std::string>(columns));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            texts[r][c] = prefix + std::to_string(r + 1) + "." + std::to_string(c + 1);
        }
    }
    return texts;
}

// The fixture's slides: 1 "Sales table" 3 x 3, banded, with row and column ids; 2 "Merged
// table" 4 x 3 with a label over two rows and a header over two columns; 3 "CJK table" 2 x 2.

TEST(PptTable, OnlyGraphicFramesWithATableHaveOne) {
    Session deck(fixture("mixed.pptx"));
    const bool expected[] = {false, true, false, false};  // text box, table, picture, rectangle
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(deck.shape(2, i)->HasTable(), expected[i - 1]) << "shape " << i;
    }
    EXPECT_FALSE(deck.shape(1, 2)->HasTable());  // a native chart
    EXPECT_EQ(deck.shape(2, 2)->Table()->RowCount(), 3);
    EXPECT_OFFICE_ERROR(deck.shape(2, 3)->Table(), ErrorCode::TypeMismatch,
                        "mixed.pptx: slide 2, shape \"Logo\" holds no table: it is a picture");
    EXPECT_OFFICE_ERROR(
        deck.shape(1, 2)->Table(), ErrorCode::TypeMismatch,
        "mixed.pptx: slide 1, shape \"Left chart\" holds no table: it is an embedded object");
    // A table is still no embedded object.
    EXPECT_OFFICE_ERROR(
        deck.shape(2, 2)->OLEFormat(), ErrorCode::TypeMismatch,
        "mixed.pptx: slide 2, shape \"Figures\" holds no embedded object: it is a table");
    EXPECT_EQ(deck.shape(2, 2)->Parent()->SlideID(),
              deck.presentation->Slides()->Item(2)->SlideID());
}

TEST(PptTable, ReadsCellsAndRefusesCellsOutsideTheTable) {
    Session deck(fixture("tables.pptx"));
    auto table = deck.shape(1, 1)->Table();
    EXPECT_EQ(table->RowCount(), 3);
    EXPECT_EQ(table->ColumnCount(), 3);
    EXPECT_EQ(table->CellText(1, 1), "Region");
    EXPECT_EQ(table->CellText(3, 3), "11");
    const std::string shape = "tables.pptx: slide 1, shape \"Sales table\": ";
    EXPECT_OFFICE_ERROR(table->CellText(4, 1), ErrorCode::IndexOutOfRange,
                        shape + "row index 4 is out of range (3 rows)");
    EXPECT_OFFICE_ERROR(table->CellText(1, 0), ErrorCode::IndexOutOfRange,
                        shape + "column index 0 is out of range (3 columns)");
    EXPECT_OFFICE_ERROR(table->Resize(0, 2), ErrorCode::InvalidArgument,
                        shape + "a table of 0 rows and 2 columns cannot be made");
    EXPECT_OFFICE_ERROR(table->Fill({{"a", "b"}, {"c"}}), ErrorCode::InvalidArgument,
                        shape + "the rows of a block must be equally long");
    auto merged = deck.shape(2, 1)->Table();
    EXPECT_EQ(merged->CellText(1, 2), "2024");
    EXPECT_EQ(merged->CellText(1, 3), "");
    // Resizing alone keeps the texts that stay and leaves the new cells blank.
    table->Resize(4, 4);
    EXPECT_EQ(table->CellText(1, 1), "Region");
    EXPECT_EQ(table->CellText(3, 3), "11");
    EXPECT_EQ(table->CellText(1, 4), "");
    EXPECT_EQ(table->CellText(4, 1), "");
    EXPECT_EQ(table->CellText(4, 4), "");
}

TEST(PptTable, GrowingCopiesTheLastRowAndColumnWithFreshIdsAndKeepsTheWidth) {
    const fs::path folder = ppt_test::scratch();
    const std::string saved = (folder / "grown.pptx").string();
    {
        Session deck(fixture("tables.pptx"));
        deck.shape(1, 1)->Table()->Fill(numbered(5, 5, "v"));
        deck.presentation->SaveAs(saved);
    }
    expectValid(saved, fixture("tables.pptx"));
    const Reading read = independentRead(saved, 1, "Sales table");
    ASSERT_EQ(read.lines.count("table"), 1u) << read.all;
    EXPECT_EQ(read.lines.at("table"), "5x5\tcx=5486400\tcy=2286000");
    EXPECT_EQ(sum(read.lines.at("widths")), 5486400);
    EXPECT_EQ(read.lines.at("widths"), "1097280,1097280,1097280,1097280,1097280");
    EXPECT_EQ(read.lines.at("heights"), "457200,457200,457200,457200,457200");
    EXPECT_EQ(read.lines.at("style"),
              "bandRow=1 firstRow=1\t{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}");
    for (const char* kind : {"rowids", "colids"}) {
        const std::vector<std::string> ids = split(read.lines.at(kind));
        EXPECT_EQ(ids.size(), 5u);
        EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size())
            << kind << " " << read.lines.at(kind);
        EXPECT_EQ(std::count(ids.begin(), ids.end(), "-"), 0) << kind;
    }
    EXPECT_EQ(split(read.lines.at("rowids"))[0], "4000000001");  // the template's rows keep theirs
    const std::string header = "fill=1F4E79 algn=ctr b=1 sz=1400 colour=FFFFFF";
    const std::string name = "fill=EDEDED algn=l i=1 sz=1400 colour=000000";
    const std::string number = "algn=r sz=1400 colour=000000";
    EXPECT_EQ(cellAt(read, 1, 1), "v1.1\t" + header);
    EXPECT_EQ(cellAt(read, 1, 5), "v1.5\t" + header);  // a copy of the last column
    EXPECT_EQ(cellAt(read, 5, 1), "v5.1\t" + name);    // a copy of the last row
    EXPECT_EQ(cellAt(read, 4, 4), "v4.4\t" + number);
    EXPECT_EQ(cellAt(read, 5, 5), "v5.5\t" + number);

    // Read back through our own model as well.
    Session reopened(saved);
    auto table = reopened.shape(1, 1)->Table();
    EXPECT_EQ(table->CellText(5, 5), "v5.5");
}

TEST(PptTable, ShrinkingRemovesRowsAndColumnsWithTheirTextAndRescalesTheGrid) {
    const fs::path folder = ppt_test::scratch();
    const std::string saved = (folder / "shrunk.pptx").string();
    {
        Session deck(fixture("tables.pptx"));
        auto table = deck.shape(1, 1)->Table();
        table->Fill({{"Area", "Total"}, {"East", "5"}});
        EXPECT_EQ(table->RowCount(), 2);
        deck.presentation->SaveAs(saved);
    }
    expectValid(saved, fixture("tables.pptx"));
    const Reading read = independentRead(saved, 1, "Sales table");
    // The frame was drawn lower than its rows; it loses one row's height and stays at least as
    // high as its rows.
    EXPECT_EQ(read.lines.at("table"), "2x2\tcx=5486400\tcy=914400");
    EXPECT_EQ(read.lines.at("widths"), "2743200,2743200");
    EXPECT_EQ(read.lines.at("rowids"), "4000000001,4000000002");
    EXPECT_EQ(read.cells.size(), 4u);
    EXPECT_EQ(cellAt(read, 2, 2), "5\talgn=r sz=1400 colour=000000");
    const std::string slide = *ppt_test::zipEntry(saved, "ppt/slides/slide1.xml");
    for (const char* gone : {"South", "Q2", "North", ">15<", ">11<"}) {
        EXPECT_EQ(slide.find(gone), std::string::npos) << gone;
    }
}

TEST(PptTable, MergedCellsThatTheBlockLeavesWholeStayAndGrowWithTheirLook) {
    const fs::path folder = ppt_test::scratch();
    const std::string saved = (folder / "merged.pptx").string();
    {
        Session deck(fixture("tables.pptx"));
        deck.shape(2, 1)->Table()->Fill({{"Land", "2025", "", ""},
                                         {"", "Q1", "Q2", "Q3"},
                                         {"Bayern", "1", "2", "3"},
                                         {"Hessen", "4", "5", "6"},
                                         {"Sachsen", "7", "8", "9"}});
        deck.presentation->SaveAs(saved);
    }
    expectValid(saved, fixture("tables.pptx"));
    const Reading read = independentRead(saved, 2, "Merged table");
    EXPECT_EQ(read.lines.at("table").substr(0, 3), "5x4");
    const std::string header = "fill=1F4E79 algn=ctr b=1 sz=1200 colour=FFFFFF";
    EXPECT_EQ(cellAt(read, 1, 1), "Land\trowSpan=2 " + header);
    EXPECT_EQ(cellAt(read, 2, 1), "\tvMerge=1");
    EXPECT_EQ(cellAt(read, 1, 2), "2025\tgridSpan=2 " + header);
    EXPECT_EQ(cellAt(read, 1, 3), "\thMerge=1");
    // The new column's header cell copies the merged header that covers the last column, without
    // its merge.
    EXPECT_EQ(cellAt(read, 1, 4), "\tfill=1F4E79 algn=ctr");
    EXPECT_EQ(cellAt(read, 2, 4), "Q3\tfill=1F4E79 algn=ctr b=1 sz=1400 colour=FFFFFF");
    EXPECT_EQ(cellAt(read, 5, 1), "Sachsen\tsz=1200 colour=000000");
}

TEST(PptTable, ABlockThatWouldSplitAMergedCellOrFillACoveredOneChangesNothing) {
    Session deck(fixture("tables.pptx"));
    auto table = deck.shape(2, 1)->Table();
    const std::string shape = "tables.pptx: slide 2, shape \"Merged table\": ";
    EXPECT_OFFICE_ERROR(table->Fill(numbered(4, 2, "x")), ErrorCode::NotSupported,
                        shape +
                            "a block of 4 rows and 2 columns would split the merged cell at row 1, "
                            "column 2 (rows 1 to 1, columns 2 to 3)");
    EXPECT_OFFICE_ERROR(table->Resize(1, 3), ErrorCode::NotSupported,
                        shape +
                            "a block of 1 rows and 3 columns would split the merged cell at row 1, "
                            "column 1 (rows 1 to 2, columns 1 to 1)");
    EXPECT_OFFICE_ERROR(table->Fill(numbered(4, 3, "x")), ErrorCode::NotSupported,
                        shape +
                            "the text \"x1.3\" for the cell at row 1, column 3 falls on a cell "
                            "covered by the merged cell at row 1, column 2");
    EXPECT_OFFICE_ERROR(table->SetCellText(2, 1, "under"), ErrorCode::NotSupported,
                        shape +
                            "the text \"under\" for the cell at row 2, column 1 falls on a cell "
                            "covered by the merged cell at row 1, column 1");
    EXPECT_EQ(table->RowCount(), 4);
    EXPECT_EQ(table->ColumnCount(), 3);
    EXPECT_EQ(table->CellText(3, 1), "North");
    // Keeping one merged cell whole and removing the other whole is no split.
    table->Resize(2, 1);
    EXPECT_EQ(table->CellText(1, 1), "Region");
    EXPECT_EQ(table->ColumnCount(), 1);
}

// A span that claims more rows or columns than the table has counts up to the table's edge.
TEST(PptTable, SpansBeyondTheTableEndAtItsEdge) {
    const fs::path folder = ppt_test::scratch();
    const std::string input = (folder / "spans.pptx").string();
    std::string slide = *ppt_test::zipEntry(fixture("tables.pptx"), "ppt/slides/slide2.xml");
    for (auto [from, to] : {std::pair{"rowSpan=\"2\"", "rowSpan=\"2147483647\""},
                            std::pair{"gridSpan=\"2\"", "gridSpan=\"2147483647\""}}) {
        const std::size_t at = slide.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        slide.replace(at, std::string_view(from).size(), to);
    }
    ppt_test::rewriteZip(fixture("tables.pptx"), input, {{"ppt/slides/slide2.xml", slide}});
    Session deck(input);
    auto table = deck.shape(2, 1)->Table();
    const std::string shape = "spans.pptx: slide 2, shape \"Merged table\": ";
    EXPECT_OFFICE_ERROR(table->Fill(numbered(4, 3, "s")), ErrorCode::NotSupported,
                        shape +
                            "the text \"s1.3\" for the cell at row 1, column 3 falls on a cell "
                            "covered by the merged cell at row 1, column 2");
    EXPECT_OFFICE_ERROR(table->Resize(4, 2), ErrorCode::NotSupported,
                        shape +
                            "a block of 4 rows and 2 columns would split the merged cell at row 1, "
                            "column 2 (rows 1 to 1, columns 2 to 3)");
    EXPECT_OFFICE_ERROR(table->SetCellText(4, 1, "low"), ErrorCode::NotSupported,
                        shape +
                            "the text \"low\" for the cell at row 4, column 1 falls on a cell "
                            "covered by the merged cell at row 1, column 1");
    table->Fill({{"a", "b", ""}, {"", "c", "d"}, {"", "e", "f"}, {"", "g", "h"}});
    EXPECT_EQ(table->CellText(4, 3), "h");
}

TEST(PptTable, TextKeepsItsRunLookInEveryLineAndLosesWhatXmlCannotHold) {
    const fs::path folder = ppt_test::scratch();
    const std::string saved = (folder / "text.pptx").string();
    {
        Session deck(fixture("tables.pptx"));
        auto table = deck.shape(3, 1)->Table();
        table->Fill({{"東京\n大阪", "売上\x01高"}, {"", "<&>\"'"}});
        EXPECT_EQ(table->CellText(1, 1), "東京\n大阪");
        EXPECT_EQ(table->CellText(1, 2), "売上高");
        deck.presentation->SaveAs(saved);
    }
    expectValid(saved, fixture("tables.pptx"));
    const Reading read = independentRead(saved, 3, "CJK table");
    const std::string header = "fill=1F4E79 algn=ctr b=1 sz=1400 colour=FFFFFF";
    EXPECT_EQ(cellAt(read, 1, 1), "東京\\n大阪\t" + header);
    EXPECT_EQ(cellAt(read, 1, 2), "売上高\t" + header);
    EXPECT_EQ(cellAt(read, 2, 1), "\t");
    EXPECT_EQ(cellAt(read, 2, 2), "<&>\"'\talgn=r sz=1400 colour=000000");
    // Both paragraphs of the two-line cell take the first paragraph's properties.
    const std::string slide = *ppt_test::zipEntry(saved, "ppt/slides/slide3.xml");
    EXPECT_NE(slide.find("<a:t>東京</a:t></a:r><a:endParaRPr"), std::string::npos);
    EXPECT_NE(
        slide.find("<a:p><a:pPr algn=\"ctr\" indent=\"0\" marL=\"0\"><a:buNone/></a:pPr><a:r>"
                   "<a:rPr lang=\"en-US\" sz=\"1400\" b=\"1\" dirty=\"0\"><a:solidFill><a:srgbClr "
                   "val=\"FFFFFF\"/></a:solidFill></a:rPr><a:t>大阪</a:t>"),
        std::string::npos)
        << slide;
}

// A slide that binds DrawingML to another prefix than "a" (as some writers do) is read and filled
// the same way, and new elements take the slide's prefix.
TEST(PptTable, ASlideWithAnotherDrawingPrefixIsFilledTheSameWay) {
    const fs::path folder = ppt_test::scratch();
    const std::string input = (folder / "prefixed.pptx").string();
    const std::string saved = (folder / "filled.pptx").string();
    std::string slide = *ppt_test::zipEntry(fixture("tables.pptx"), "ppt/slides/slide1.xml");
    for (auto [from, to] : {std::pair{"<a:", "<dml:"}, std::pair{"</a:", "</dml:"},
                            std::pair{"xmlns:a=", "xmlns:dml="}}) {
        for (std::size_t at = slide.find(from); at != std::string::npos;
             at = slide.find(from, at + 1)) {
            slide.replace(at, std::string_view(from).size(), to);
        }
    }
    ASSERT_EQ(slide.find("<a:"), std::string::npos);
    ppt_test::rewriteZip(fixture("tables.pptx"), input, {{"ppt/slides/slide1.xml", slide}});
    {
        Session deck(input);
        ASSERT_TRUE(deck.shape(1, 1)->HasTable());
        deck.shape(1, 1)->Table()->Fill(numbered(4, 4, "p"));
        deck.presentation->SaveAs(saved);
    }
    expectValid(saved, input);
    const Reading read = independentRead(saved, 1, "Sales table");
    EXPECT_EQ(read.lines.at("table").substr(0, 4), "4x4\t");
    EXPECT_EQ(cellAt(read, 4, 4), "p4.4\talgn=r sz=1400 colour=000000");
    const std::string written = *ppt_test::zipEntry(saved, "ppt/slides/slide1.xml");
    EXPECT_EQ(written.find("<a:"), std::string::npos);
}

TEST(PptTable, ASecondRunOnTheOutputFillsItAgain) {
    const fs::path folder = ppt_test::scratch();
    const std::string first = (folder / "first.pptx").string();
    const std::string second = (folder / "second.pptx").string();
    {
        Session deck(fixture("tables.pptx"));
        deck.shape(1, 1)->Table()->Fill(numbered(6, 4, "a"));
        deck.presentation->SaveAs(first);
    }
    {
        Session deck(first);
        auto table = deck.shape(1, 1)->Table();
        EXPECT_EQ(table->CellText(6, 4), "a6.4");
        table->Fill(numbered(8, 2, "b"));
        deck.presentation->SaveAs(second);
    }
    expectValid(second, fixture("tables.pptx"));
    const Reading read = independentRead(second, 1, "Sales table");
    EXPECT_EQ(read.lines.at("table").substr(0, 4), "8x2\t");
    EXPECT_EQ(sum(read.lines.at("widths")), 5486400);
    const std::vector<std::string> rows = split(read.lines.at("rowids"));
    EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()).size(), 8u)
        << read.lines.at("rowids");
    EXPECT_EQ(cellAt(read, 8, 2), "b8.2\talgn=r sz=1400 colour=000000");
    EXPECT_EQ(read.all.find("a6.4"), std::string::npos);
}

// Tables that PowerPoint wrote: a banded one with row and column ids, a wide one with merged
// header rows, and an old one whose cells spell out every property.
struct RealTable {
    const char* file;
    int slide;
    const char* shape;
};

class PptRealTable : public ::testing::TestWithParam<RealTable> {};

TEST_P(PptRealTable, GrowsAndShrinksInBothDirectionsKeepingTheFileValid) {
    const RealTable& real = GetParam();
    const std::string path = std::string(TABULON_REALWORLD_DIR) + "/" + real.file;
    if (!fs::exists(path)) {
        GTEST_SKIP() << "real-world corpus absent: " << path;
    }
    const fs::path folder = ppt_test::scratch();
    const Reading before = independentRead(path, real.slide, real.shape);
    ASSERT_EQ(before.lines.count("table"), 1u) << before.all;
    int rows = 0;
    int columns = 0;
    {
        Session deck(path);
        auto table = deck.shapeNamed(real.slide, real.shape)->Table();
        rows = table->RowCount();
        columns = table->ColumnCount();
    }
    for (const auto& [down, across] : {std::pair{rows + 3, columns + 2}, std::pair{rows, 1}}) {
        SCOPED_TRACE(std::to_string(down) + " x " + std::to_string(across));
        const std::string saved =
            (folder / (std::to_string(down) + "x" + std::to_string(across) + ".pptx")).string();
        {
            Session deck(path);
            deck.shapeNamed(real.slide, real.shape)->Table()->Fill(numbered(down, across, "n"));
            deck.presentation->SaveAs(saved);
        }
        expectValid(saved, path);
        const Reading after = independentRead(saved, real.slide, real.shape);
        EXPECT_EQ(after.lines.at("style"), before.lines.at("style"));
        EXPECT_EQ(sum(after.lines.at("widths")), sum(before.lines.at("widths")));
        EXPECT_EQ(after.lines.at("table").substr(0, after.lines.at("table").find('\t')),
                  std::to_string(down) + "x" + std::to_string(across));
        for (const char* kind : {"rowids", "colids"}) {
            std::vector<std::string> ids = split(after.lines.at(kind));
            std::erase(ids, "-");
            EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size()) << kind;
        }
        EXPECT_EQ(cellAt(after, down, across).substr(0, cellAt(after, down, across).find('\t')),
                  "n" + std::to_string(down) + "." + std::to_string(across));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, PptRealTable,
    ::testing::Values(RealTable{"pptx-charts/shapecrawler__025_chart.pptx", 3, "Table 9"},
                      RealTable{"pptx-tags-names/poi__aascu.org_downloadasset_5864.pptx", 25,
                                "Table 3"},
                      RealTable{"pptx-ole/openxmlsdk__typical_msgraph.pptx", 8, "Group 92"}),
    [](const ::testing::TestParamInfo<RealTable>& info) {
        return "Table" + std::to_string(info.index + 1);
    });

TEST(PptRealTable, AMergedHeaderOverTheWholeTableRefusesANarrowerBlock) {
    const std::string path = std::string(TABULON_REALWORLD_DIR) +
                             "/pptx-tags-names/poi__aascu.org_downloadasset_5864.pptx";
    if (!fs::exists(path)) {
        GTEST_SKIP() << "real-world corpus absent: " << path;
    }
    Session deck(path);
    auto table = deck.shapeNamed(23, "Table 3")->Table();
    EXPECT_OFFICE_ERROR(table->Fill(numbered(3, 4, "n")), ErrorCode::NotSupported,
                        "poi__aascu.org_downloadasset_5864.pptx: slide 23, shape \"Table 3\": a "
                        "block of 3 rows and 4 columns would split the merged cell at row 1, "
                        "column 1 (rows 1 to 1, columns 1 to 9)");
    // A block as wide as the table, blank where the merged rows' covered cells are.
    const int rows = table->RowCount();
    CellTexts texts = numbered(rows + 2, 9, "n");
    const Reading read = independentRead(path, 23, "Table 3");
    for (const auto& [at, cell] : read.cells) {
        if (cell.find("hMerge") != std::string::npos || cell.find("vMerge") != std::string::npos) {
            const std::size_t comma = at.find(',');
            texts[std::stoi(at.substr(0, comma)) - 1][std::stoi(at.substr(comma + 1)) - 1].clear();
        }
    }
    table->Fill(texts);
    EXPECT_EQ(table->RowCount(), rows + 2);
    EXPECT_EQ(table->CellText(1, 1), "n1.1");
}

TEST(PptTableInterop, LibreOfficeDrawsTheNewTexts) {
    if (ppt_test::run("command -v soffice").status != 0 ||
        ppt_test::run("command -v pdftotext").status != 0) {
        GTEST_SKIP() << "soffice or pdftotext is not installed";
    }
    const fs::path folder = ppt_test::scratch();
    {
        Session deck(fixture("tables.pptx"));
        deck.shape(1, 1)->Table()->Fill({{"Land", "Umsatz", "Anteil", "Stand"},
                                         {"Bayern", "$1,234.50", "12.5%", "2024-03-31"},
                                         {"北京", "$99.00", "50.0%", "2024-12-01"},
                                         {"Hessen", "$0.00", "100.0%", "#N/A"}});
        deck.presentation->SaveAs((folder / "filled.pptx").string());
    }
    const auto converted =
        ppt_test::run("cd '" + folder.string() + "' && HOME='" + folder.string() +
                      "' timeout 180 soffice --headless --convert-to pdf filled.pptx");
    ASSERT_EQ(converted.status, 0) << converted.output;
    const auto text =
        ppt_test::run("pdftotext -f 1 -l 1 '" + (folder / "filled.pdf").string() + "' -");
    ASSERT_EQ(text.status, 0) << text.output;
    for (const char* shown :
         {"Umsatz", "Bayern", "$1,234.50", "12.5%", "2024-03-31", "北京", "100.0%", "#N/A"}) {
        EXPECT_NE(text.output.find(shown), std::string::npos) << shown << "\n" << text.output;
    }
    EXPECT_EQ(text.output.find("Region"), std::string::npos) << text.output;
}

}  // namespace
