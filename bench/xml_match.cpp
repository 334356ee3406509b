// Walking the rows and cells of a 20,000-row, 9-column sheet part: by local name alone (what
// prefix-blind code did), by namespace and local name through the package's children() (which
// resolves the parent's bindings once) with child() or the range's childOf() for each cell's
// value, and through is() on every element (which resolves each element's prefix up to the
// root). The root carries the namespace declarations a real sheet
// part has, so the walks up to it cost what they cost in practice.

#include <benchmark/benchmark.h>

#include <string>

#include "office/package/xml.h"

namespace {

namespace ox = office::package;

constexpr int kRows = 20000;
constexpr int kColumns = 9;

pugi::xml_document sheet() {
    std::string xml =
        "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
        "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
        "xmlns:x14ac=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac\" "
        "mc:Ignorable=\"x14ac\"><x:sheetData>";
    for (int row = 1; row <= kRows; ++row) {
        xml += "<x:row r=\"" + std::to_string(row) + "\" spans=\"1:9\" x14ac:dyDescent=\"0.25\">";
        for (int column = 0; column < kColumns; ++column) {
            xml += "<x:c r=\"" + std::string(1, static_cast<char>('A' + column)) +
                   std::to_string(row) + "\" s=\"1\"><x:v>" + std::to_string(row * column) +
                   "</x:v></x:c>";
        }
        xml += "</x:row>";
    }
    xml += "</x:sheetData></x:worksheet>";
    return ox::parseXml(xml, "bench.xlsx", "xl/worksheets/sheet1.xml");
}

const pugi::xml_document& shared() {
    static const pugi::xml_document doc = sheet();
    return doc;
}

pugi::xml_node sheetData() {
    return ox::child(shared().document_element(), ox::ns::kSpreadsheet, "sheetData");
}

void ByLocalName(benchmark::State& state) {
    const pugi::xml_node data = sheetData();
    for (auto _ : state) {
        long values = 0;
        for (pugi::xml_node row : data.children()) {
            if (ox::localName(row.name()) != "row") {
                continue;
            }
            for (pugi::xml_node cell : row.children()) {
                if (ox::localName(cell.name()) == "c" && ox::child(cell, "v")) {
                    ++values;
                }
            }
        }
        benchmark::DoNotOptimize(values);
    }
}
BENCHMARK(ByLocalName)->Unit(benchmark::kMillisecond)->Iterations(5);

void ByNamespaceRanges(benchmark::State& state) {
    const pugi::xml_node data = sheetData();
    for (auto _ : state) {
        long values = 0;
        for (pugi::xml_node row : ox::children(data, ox::ns::kSpreadsheet, "row")) {
            for (pugi::xml_node cell : ox::children(row, ox::ns::kSpreadsheet, "c")) {
                values += ox::child(cell, ox::ns::kSpreadsheet, "v") ? 1 : 0;
            }
        }
        benchmark::DoNotOptimize(values);
    }
}
BENCHMARK(ByNamespaceRanges)->Unit(benchmark::kMillisecond)->Iterations(5);

void ByNamespaceRangesAndChildOf(benchmark::State& state) {
    const pugi::xml_node data = sheetData();
    for (auto _ : state) {
        long values = 0;
        for (pugi::xml_node row : ox::children(data, ox::ns::kSpreadsheet, "row")) {
            const auto cells = ox::children(row, ox::ns::kSpreadsheet, "c");
            for (pugi::xml_node cell : cells) {
                values += cells.childOf(cell, "v") ? 1 : 0;
            }
        }
        benchmark::DoNotOptimize(values);
    }
}
BENCHMARK(ByNamespaceRangesAndChildOf)->Unit(benchmark::kMillisecond)->Iterations(5);

void ByIsOnEveryElement(benchmark::State& state) {
    const pugi::xml_node data = sheetData();
    for (auto _ : state) {
        long values = 0;
        for (pugi::xml_node row : data.children()) {
            if (!ox::is(row, ox::ns::kSpreadsheet, "row")) {
                continue;
            }
            for (pugi::xml_node cell : row.children()) {
                if (ox::is(cell, ox::ns::kSpreadsheet, "c") &&
                    ox::child(cell, ox::ns::kSpreadsheet, "v")) {
                    ++values;
                }
            }
        }
        benchmark::DoNotOptimize(values);
    }
}
BENCHMARK(ByIsOnEveryElement)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
