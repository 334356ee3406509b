// Fuzz target for the workbook reader and writer: every input must open, read through and save,
// or fail with office::Error; nothing else may escape and nothing may crash.
//
// The first byte picks what the rest of the input is:
//   0  a whole .xlsx file
//   1  xl/worksheets/sheet1.xml of the fixture workbook
//   2  xl/sharedStrings.xml of the fixture workbook
//   3  xl/styles.xml of the fixture workbook
//   4  xl/workbook.xml of the fixture workbook
//   5  xl/tables/table1.xml of the table fixture
//   6  a number format code, rendered for a few values
// so that the XML readers are reached without first guessing a valid zip.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "office/error.h"
#include "office/excel.h"
#include "office/excel/embedded.h"
#include "office/excel/number_format.h"
#include "office/package/package.h"

namespace {

std::vector<std::uint8_t> fixture(const char* name) {
    const std::string path = std::string(TABULON_SOURCE_DIR) + "/tests/fixtures/xlsx/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "fuzz_workbook: cannot open %s\n", path.c_str());
        std::abort();
    }
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::uint8_t> withPart(const std::vector<std::uint8_t>& base, const char* part,
                                   std::string bytes) {
    auto package = office::package::Package::openBytes(base, "fuzz.xlsx", "workbook");
    package.write(part, std::move(bytes));
    return package.saveBytes();
}

// Reads everything a caller can read, then writes a little and saves.
void exercise(std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> saved;
    auto book = office::excel::openWorkbookFromBytes(
        std::move(bytes), "fuzz.xlsx",
        [&](std::vector<std::uint8_t> out) { saved = std::move(out); });
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
    auto first = worksheets->Item(1);
    first->Range("A1:C3")->Copy(first->Range("E5"));
    first->Range("B2")->SetValue(office::Value::text("fuzz"));
    first->Range("C2")->SetNumberFormat("0.00%");
    book->Close();
    if (!saved.empty()) {
        office::excel::openWorkbookFromBytes(std::move(saved), "again.xlsx", nullptr)->Close();
    }
}

void formatCode(const std::string& code) {
    using office::excel::detail::formatValue;
    for (double v : {0.0, -1.5, 1234.5678, 45366.75, 1e20, -1e-12}) {
        formatValue(office::Value::number(v), code);
    }
    formatValue(office::Value::text("t"), code);
    office::excel::detail::isDateFormat(code);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto basic = fixture("basic.xlsx");
    static const auto tables = fixture("tables.xlsx");
    static const char* const parts[] = {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml",
                                        "xl/styles.xml", "xl/workbook.xml"};
    if (size == 0) {
        return 0;
    }
    const int mode = data[0] % 7;
    std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        if (mode == 0) {
            exercise(std::vector<std::uint8_t>(rest.begin(), rest.end()));
        } else if (mode <= 4) {
            exercise(withPart(basic, parts[mode - 1], std::move(rest)));
        } else if (mode == 5) {
            exercise(withPart(tables, "xl/tables/table1.xml", std::move(rest)));
        } else {
            formatCode(rest);
        }
    } catch (const office::Error&) {
    }
    return 0;
}
