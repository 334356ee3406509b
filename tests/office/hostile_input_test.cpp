// Hostile input: small files shaped to make a reader's cost grow faster than their size. Each
// is read at two sizes, the larger four times the smaller, and the CPU time of the larger must
// stay within six times that of the smaller (a cost that grows with the square would take
// sixteen). The same inputs seed the fuzz targets (fuzz/seeds/).

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <sstream>
#include <string>

#include "excel_test_support.h"
#include "msgraph_support.h"
#include "office/binary/records.h"
#include "office/compound/compound_file.h"
#include "office/error.h"
#include "office/excel/cell_grid.h"
#include "office/graph/chart_part.h"
#include "office/graph/msgraph/native_chart.h"
#include "office/graph/msgraph/records.h"
#include "support/office_error.h"
#include "xls_test_support.h"

namespace {

using office::ErrorCode;
namespace mg = office::graph::msgraph;

// The least CPU time of three runs, in seconds.
double cpuSeconds(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const std::clock_t start = std::clock();
        run();
        best = std::min(best, static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    return best;
}

// Reads the input that `make` makes for `size` and for 4 * `size`: the larger may cost six
// times as much. Making the inputs is not timed.
template <class Make, class Read>
void expectLinear(int size, Make make, Read read) {
    const auto smallInput = make(size);
    const auto largeInput = make(4 * size);
    const double small = cpuSeconds([&] { read(smallInput, size); });
    const double large = cpuSeconds([&] { read(largeInput, 4 * size); });
    EXPECT_LT(large, 6 * small + 0.02)
        << "size " << size << ": " << small << " s, size " << 4 * size << ": " << large << " s";
}

// Opens a Workbook stream saved as a compound file.
excel_test::Opened openStream(const xls_test::Bytes& stream, const std::string& name) {
    const auto path = excel_test::scratch(name);
    xls_test::writeCompound(path, {{"Workbook", stream}});
    return excel_test::open(path.string());
}

// A workbook whose shared-string table holds `count` strings, each in a Continue record of its
// own, and a sheet whose one cell shows the last of them.
xls_test::Bytes continuedStrings(int count) {
    using namespace xls_test;
    auto text = [](int i) { return unicodeString(u"s" + std::u16string(1, u'a' + i % 26)); };
    Bytes sst;
    put32(sst, static_cast<std::uint32_t>(count));
    put32(sst, static_cast<std::uint32_t>(count));
    StreamBuilder builder;
    builder.global(0x00FC, sst + text(0));
    for (int i = 1; i < count; ++i) {
        builder.global(0x003C, text(i));
    }
    Bytes cell = cellHead(1, 1, 0);
    put32(cell, static_cast<std::uint32_t>(count - 1));
    builder.sheet({u"Data", 0, 0, {{0x00FD, cell}}});
    return builder.build();
}

TEST(HostileInput, SharedStringsOverManyContinueRecordsReadInLinearTime) {
    auto save = [](int count) {
        const auto path = excel_test::scratch("strings-" + std::to_string(count) + ".xls");
        xls_test::writeCompound(path, {{"Workbook", continuedStrings(count)}});
        return path.string();
    };
    expectLinear(10000, save, [](const std::string& path, int count) {
        auto book = excel_test::open(path);
        const std::string last = "s" + std::string(1, static_cast<char>('a' + (count - 1) % 26));
        EXPECT_EQ(book.sheet(1)->Range("A1")->Value(), office::Value::text(last));
    });
}

// A sheet list that names one sheet twice would have it read and held once for each name.
TEST(HostileInput, ASheetListNamingOneSheetTwiceIsRefused) {
    using namespace xls_test;
    StreamBuilder twice;
    twice.sheet({u"A", 0, 0, {}});
    twice.sheet({u"B", 0, 0, {}});
    Bytes stream = twice.build();
    // The second BoundSheet record is given the first one's offset.
    office::binary::RecordStream records(stream, "twice");
    std::vector<std::size_t> offsets;
    for (office::binary::Record r; records.next(r);) {
        if (r.id == 0x0085) {
            offsets.push_back(r.offset + 4);
        }
    }
    ASSERT_EQ(offsets.size(), 2u);
    std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(offsets[0]), 4,
                stream.begin() + static_cast<std::ptrdiff_t>(offsets[1]));
    EXPECT_OFFICE_ERROR(openStream(stream, "twice.xls"), ErrorCode::CorruptPart,
                        "sheets \"A\" and \"B\" begin at the same offset");
}

// A chart whose blocks nest `depth` deep, each holding a record that asks which blocks it lies
// in.
msgraph_test::Stream nestedBlocks(int depth) {
    using msgraph_test::Body;
    msgraph_test::Stream s;
    s.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6)).end();
    for (int i = 0; i < depth; ++i) {
        s.begin().add(0x105D, Body().u16(1));
    }
    for (int i = 0; i < depth; ++i) {
        s.end();
    }
    s.finish();
    return s;
}

TEST(HostileInput, DeeplyNestedGraphBlocksReadInLinearTime) {
    auto make = [](int depth) { return nestedBlocks(depth).bytes(); };
    expectLinear(4000, make, [](const msgraph_test::Bytes& stream, int) {
        const auto chart = mg::readGraphChart(stream, "deep.pptx: slide 1, shape \"Chart 1\"");
        EXPECT_EQ(chart.look.kind, mg::Kind::Bar);
        EXPECT_FALSE(chart.look.smoothLines);  // no block is a series'
    });
}

// A pie whose data sheet holds `count` values down one column, 16 rows apart, and whose
// exclusion record of `count` change points leaves no row out.
msgraph_test::Stream spreadPie(int count) {
    using msgraph_test::Body;
    msgraph_test::Stream s;
    for (int i = 1; i <= count; ++i) {
        s.number(16 * i, 1, i);
    }
    Body changes;
    changes.u16(0);
    for (int i = 0; i < count; i += 2) {
        changes.u16(1).u16(1);  // excluded from row 2 and included again at once
    }
    s.add(0x1053, changes).add(0x1055, Body().u8(0).zeros(5));
    s.add(0x1014, Body().zeros(20)).begin().add(0x1019, Body().zeros(6)).end();
    return s.finish();
}

// The chart written for a Graph object holds what its cells hold: a point per value, not one
// per row between them, and no series for rows that a stray cell far down merely spans.
TEST(HostileInput, AGraphDataSheetCostsWhatItsCellsHold) {
    auto make = [](int count) { return spreadPie(count).bytes(); };
    expectLinear(1000, make, [](const msgraph_test::Bytes& stream, int) {
        const auto chart = mg::readGraphChart(stream, "pie.pptx");
        EXPECT_TRUE(chart.sheet.excludedRows.empty());
        std::ostringstream part;
        mg::nativeChart(chart, "Sheet1", "pie.pptx").save(part);
        // About 250 bytes of XML for each cell of 18 bytes (its colour, its cached value).
        EXPECT_LT(part.str().size(), 20 * stream.size() + 20000);
    });

    // A cell in the last row: a series for every row; in columns, 255 series of every row.
    auto far = [](bool inRows) {
        msgraph_test::Stream s;
        for (int column = 1; column <= (inRows ? 1 : 255); ++column) {
            s.number(65534, column, 7);
        }
        s.add(0x1055, msgraph_test::Body().u8(inRows ? 1 : 0).zeros(5));
        s.add(0x1014, msgraph_test::Body().zeros(20)).begin();
        s.add(0x1017, msgraph_test::Body().zeros(6)).end().finish();
        return mg::readGraphChart(s.bytes(), "far.pptx");
    };
    EXPECT_OFFICE_ERROR(
        mg::nativeChart(far(true), "Sheet1", "far.pptx"), ErrorCode::NotSupported,
        "far.pptx: the data sheet holds 65534 series, more than the 255 a chart can hold");
    EXPECT_OFFICE_ERROR(
        mg::nativeChart(far(false), "Sheet1", "far.pptx"), ErrorCode::NotSupported,
        "far.pptx: the data sheet holds 16711170 points, more than the 256000 a chart can hold");
}

// A block that claims many rows but holds a few cells (a name and a last value for each of a
// hundredth as many series): each series' caches visit the cells there are, not every row.
TEST(HostileInput, AChartFilledFromASparseBlockCostsWhatTheBlockHolds) {
    namespace gd = office::graph::detail;
    auto make = [](int rows) {
        office::excel::detail::CellGrid cells;
        for (int column = 2; column <= 1 + rows / 100; ++column) {
            cells.set({1, column}, {office::Value::text("S"), "General"});
            cells.set({rows, column}, {office::Value::number(column), "General"});
        }
        cells.set({rows, 1}, {office::Value::text("last"), "General"});
        return cells;
    };
    expectLinear(4000, make, [](const office::excel::detail::CellGrid& cells, int rows) {
        pugi::xml_document doc;
        doc.load_string(
            R"(<c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart"><c:chart><c:plotArea><c:barChart><c:ser><c:idx val="0"/><c:order val="0"/><c:tx><c:strRef><c:f>Sheet1!$B$1</c:f></c:strRef></c:tx><c:cat><c:strRef><c:f>Sheet1!$A$2:$A$3</c:f></c:strRef></c:cat><c:val><c:numRef><c:f>Sheet1!$B$2:$B$3</c:f></c:numRef></c:val></c:ser></c:barChart></c:plotArea></c:chart></c:chartSpace>)");
        auto data = gd::readChart(doc, "sparse.pptx");
        auto layout = *gd::layoutFromRanges(data.series);
        gd::growLayout(layout, rows, 1 + rows / 100, cells);
        gd::writeChart(doc, data, layout, cells, false);
        const auto series = static_cast<std::size_t>(rows / 100);
        ASSERT_EQ(doc.select_nodes("//c:ser").size(), series);
        EXPECT_EQ(doc.select_nodes("//c:val//c:pt").size(), series);
    });
}

// A compound file (512-byte sectors: the directory, then the FAT) whose root holds `count`
// empty streams "S1", "S2", ... as a balanced tree of siblings.
xls_test::Bytes balancedDirectory(int count) {
    using xls_test::put32;
    const auto entries = static_cast<std::uint32_t>(count + 1);
    const std::uint32_t directory = (entries + 3) / 4;
    const std::uint32_t fat = (directory + 126) / 127;
    xls_test::Bytes file = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    file.resize(0x18);
    for (std::uint32_t v : {0x0003003Eu, 0x0009FFFEu, 0x00000006u, 0u, 0u, fat, 0u, 0u, 4096u,
                            0xFFFFFFFEu, 0u, 0xFFFFFFFEu, 0u}) {
        put32(file, v);
    }
    for (std::uint32_t i = 0; i < 109; ++i) {
        put32(file, i < fat ? directory + i : 0xFFFFFFFF);
    }
    std::vector<std::uint32_t> left(entries, 0xFFFFFFFF), right = left;
    const std::function<std::uint32_t(std::uint32_t, std::uint32_t)> tree = [&](auto lo, auto hi) {
        const std::uint32_t mid = (lo + hi) / 2;
        left[mid] = lo < mid ? tree(lo, mid - 1) : 0xFFFFFFFF;
        right[mid] = mid < hi ? tree(mid + 1, hi) : 0xFFFFFFFF;
        return mid;
    };
    const std::uint32_t top = tree(1, entries - 1);
    for (std::uint32_t i = 0; i < 4 * directory; ++i) {
        const std::string name = i == 0 ? "Root Entry" : "S" + std::to_string(i);
        const std::size_t at = file.size();
        for (char c : i < entries ? name : "") {
            xls_test::put16(file, static_cast<unsigned char>(c));
        }
        file.resize(at + 0x40);
        xls_test::put16(file, i < entries ? 2 * name.size() + 2 : 0);
        file.push_back(i == 0 ? 5 : i < entries ? 2 : 0);
        file.push_back(1);
        for (std::uint32_t v : {i < entries ? left[i] : 0xFFFFFFFF, i < entries ? right[i] : ~0u,
                                i == 0 ? top : 0xFFFFFFFF}) {
            put32(file, v);
        }
        file.resize(at + 0x74);
        put32(file, 0xFFFFFFFE);
        file.resize(at + 128);
    }
    for (std::uint32_t i = 0; i < 128 * fat; ++i) {
        put32(file, i + 1 < directory     ? i + 1
                    : i < directory       ? 0xFFFFFFFE
                    : i < directory + fat ? 0xFFFFFFFD
                                          : 0xFFFFFFFF);
    }
    return file;
}

TEST(HostileInput, ACompoundFileOfManyEntriesInABalancedTreeOpensInLinearTime) {
    expectLinear(8750, balancedDirectory, [](const xls_test::Bytes& bytes, int count) {
        const auto file = office::compound::File::openBytes(bytes, "wide.bin");
        EXPECT_EQ(file.entries().size(), static_cast<std::size_t>(count));
        EXPECT_TRUE(file.hasStream("S" + std::to_string(count)));
        EXPECT_TRUE(file.readStream("S1").empty());
    });
}

// The last column of a worksheet is XFD (16,384): a Graph cell or a data sheet cell beyond it
// is refused as the workbook reader refuses one, not written as XFE or wrapped round.
TEST(HostileInput, CellsBeyondTheWorksheetGridAreRefusedOnEveryPath) {
    using msgraph_test::Body;
    auto cellAt = [](int column) {
        msgraph_test::Stream s;
        s.number(0, column, 7).add(0x1014, Body().zeros(20)).begin();
        s.add(0x1017, Body().zeros(6)).end().finish();
        return s;
    };
    EXPECT_EQ(mg::readGraphChart(cellAt(16383).bytes(), "wide.ppt").sheet.cells.count({1, 16384}),
              1u);
    for (int column : {16384, 65535}) {
        EXPECT_OFFICE_ERROR(mg::readGraphChart(cellAt(column).bytes(), "wide.ppt"),
                            ErrorCode::CorruptPart,
                            "wide.ppt: the chart object's record 0x0003 at offset 44 holds a cell "
                            "beyond the worksheet: a cell lies in column " +
                                std::to_string(column + 1) + ", beyond the last column");
    }

    office::excel::detail::CellGrid grid;
    grid.set({1048576, 16384}, {office::Value::number(1), "General"});
    EXPECT_OFFICE_ERROR(grid.set({1, 65536}, {office::Value::number(1), "General"}),
                        ErrorCode::OutOfSheet,
                        "a cell lies in column 65536, beyond the last column");
    EXPECT_OFFICE_ERROR(grid.setValue({1048577, 1}, office::Value::number(1)),
                        ErrorCode::OutOfSheet, "a cell lies in row 1048577, beyond the last row");
    EXPECT_EQ(grid.size(), 1u);
}

}  // namespace
