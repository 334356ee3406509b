#include "office/graph/picture/chart_data.h"

#include <cmath>

#include "office/excel/number_format.h"
#include "office/graph/msgraph/native_chart.h"

namespace office::graph::picture {

namespace {

// Numbers and dates; a stored number that is no finite one (infinity, NaN) counts as none.
bool isNumeric(const Value& value) {
    return (value.kind() == Value::Kind::Number || value.kind() == Value::Kind::Date) &&
           std::isfinite(value.asNumber());
}

const detail::CellData* cellAt(const msgraph::DataSheet& sheet, detail::CellPos pos) {
    const auto it = sheet.cells.find(pos);
    return it == sheet.cells.end() ? nullptr : &it->second;
}

std::string shownText(const detail::CellData* cell) {
    if (!cell) {
        return {};
    }
    if (isNumeric(cell->value)) {
        return excel::detail::formatValue(cell->value, cell->numberFormat);
    }
    return cell->value.kind() == Value::Kind::Boolean ? cell->value.toString()
                                                      : cell->value.asText();
}

}  // namespace

ChartData chartData(const msgraph::DataSheet& sheet) {
    const detail::DataLayout layout = msgraph::dataLayout(sheet, "Sheet1");
    const std::set<int>& leftOut = sheet.seriesInRows ? sheet.excludedColumns : sheet.excludedRows;
    std::vector<int> records;
    for (int record = layout.cornerRecord + layout.headerLines;
         record < layout.cornerRecord + layout.records; ++record) {
        if (!leftOut.contains(record)) {
            records.push_back(record);
        }
    }
    ChartData data;
    for (int record : records) {
        const detail::CellData* cell = cellAt(sheet, layout.toSheet(record, layout.categoryField));
        data.categories.push_back(shownText(cell));
        data.numbers.push_back(cell && isNumeric(cell->value)
                                   ? std::optional<double>(cell->value.asNumber())
                                   : std::nullopt);
    }
    bool formatTaken = false;
    for (const detail::SeriesFields& fields : layout.series) {
        SeriesData series;
        series.name = shownText(cellAt(sheet, layout.toSheet(layout.cornerRecord, fields.value)));
        for (int record : records) {
            const detail::CellData* cell = cellAt(sheet, layout.toSheet(record, fields.value));
            const bool number = cell && isNumeric(cell->value);
            series.values.push_back(number ? std::optional<double>(cell->value.asNumber())
                                           : std::nullopt);
            series.formats.push_back(cell ? cell->numberFormat : "General");
            if (number && !formatTaken) {
                data.valueFormat = cell->numberFormat;
                formatTaken = true;
            }
        }
        if (series.name.empty()) {
            series.name = "Series " + std::to_string(data.series.size() + 1);
        }
        data.series.push_back(std::move(series));
    }
    return data;
}

}  // namespace office::graph::picture
