#pragma once

// The numbers a Graph chart shows, read from its data sheet the way its native chart reads
// them (msgraph::dataLayout): categories and series in the sheet's orientation, the rows and
// columns the user left out skipped.

#include <optional>
#include <string>
#include <vector>

#include "office/graph/msgraph/model.h"

namespace office::graph::picture {

struct SeriesData {
    std::string name;
    std::vector<std::optional<double>> values;  // by shown category; none for a blank or text
    std::vector<std::string> formats;           // each value's number format
};

struct ChartData {
    std::vector<std::string> categories;         // as the data sheet shows them
    std::vector<std::optional<double>> numbers;  // the categories' numbers (a scatter's x)
    std::vector<SeriesData> series;
    std::string valueFormat = "General";  // of the first value, for the value axis

    int categoryCount() const { return static_cast<int>(categories.size()); }
    int seriesCount() const { return static_cast<int>(series.size()); }
};

ChartData chartData(const msgraph::DataSheet& sheet);

}  // namespace office::graph::picture
