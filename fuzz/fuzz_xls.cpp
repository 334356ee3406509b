// Fuzz target for the binary workbook (.xls) reader: every input must open and read through,
// or fail with office::Error; nothing else may escape and nothing may crash.
//
// The first byte picks what the rest of the input is:
//   0  a whole compound file
//   1  the Workbook stream alone
//   2  two bytes of offset, then bytes written over the Workbook stream of the fixture
//      tests/fixtures/xls/basic.xls from that offset on: damage inside a real workbook
//   3  the Workbook stream of a Graph chart object (the same record framing), read as its
//      data sheet and chart look and written as the native chart that replaces it
// fuzz/make_seeds.py writes seeds for every mode into fuzz/seeds/fuzz_xls/.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "office/compound/compound_file.h"
#include "office/error.h"
#include "office/excel.h"
#include "office/excel/embedded.h"
#include "office/excel/xls/xls_reader.h"
#include "office/graph/msgraph/native_chart.h"
#include "office/graph/msgraph/records.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fixture(const char* name) {
    const std::string path = std::string(TABULON_SOURCE_DIR) + "/tests/fixtures/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "fuzz_xls: cannot open %s\n", path.c_str());
        std::abort();
    }
    return {std::istreambuf_iterator<char>(in), {}};
}

// Reads every cell a caller reads, then copies a block into an .xlsx as a conversion does.
void exercise(const std::shared_ptr<office::excel::detail::WorkbookImpl>& impl) {
    if (!impl) {
        return;
    }
    auto book = std::make_shared<office::excel::Workbook>(impl);
    auto sheets = book->Sheets();
    for (int i = 1; i <= sheets->Count(); ++i) {
        sheets->Item(i)->Name();
    }
    auto worksheets = book->Worksheets();
    for (int i = 1; i <= worksheets->Count(); ++i) {
        auto sheet = worksheets->Item(i);
        for (int row = 1; row <= 12; ++row) {
            for (int column = 1; column <= 8; ++column) {
                auto cell = sheet->Cells(row, column);
                cell->Value();
                cell->Text();
                cell->NumberFormat();
                cell->Borders(office::excel::xlRight).LineStyle();
            }
        }
    }
    if (worksheets->Count() == 0) {
        return;
    }
    static const Bytes target = fixture("xlsx/tables.xlsx");
    auto to = office::excel::openWorkbookFromBytes(target, "fuzz.xlsx", nullptr);
    worksheets->Item(1)->Range("A1:F12")->Copy(to->Worksheets()->Item(1)->Range("B2"));
    to->Close();
}

// The stream with patch[2..] written over it from the offset in patch[0..1].
Bytes overwritten(Bytes stream, const Bytes& patch) {
    if (patch.size() < 2 || stream.empty()) {
        return stream;
    }
    std::size_t at = (patch[0] | (patch[1] << 8)) % stream.size();
    for (std::size_t i = 2; i < patch.size() && at < stream.size(); ++i, ++at) {
        stream[at] = patch[i];
    }
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Bytes base =
        office::compound::File::openBytes(fixture("xls/basic.xls"), "basic.xls")
            .readStream("Workbook");
    if (size == 0) {
        return 0;
    }
    const int mode = data[0] % 4;
    Bytes rest(data + 1, data + size);
    using namespace office::excel::detail;
    try {
        if (mode == 0) {
            exercise(binaryWorkbookFromBytes(rest, "fuzz.xls", "fuzz.xls"));
        } else if (mode == 3) {
            namespace mg = office::graph::msgraph;
            mg::nativeChart(mg::readGraphChart(rest, "fuzz.ppt"), "Sheet1", "fuzz.ppt");
        } else {
            if (mode == 2) {
                rest = overwritten(base, rest);
            }
            exercise(loadBiffWorkbook(rest, "fuzz.xls", "fuzz.xls"));
        }
    } catch (const office::Error&) {
    }
    return 0;
}
