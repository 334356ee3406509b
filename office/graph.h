#pragma once

// The host's chart server: the object behind a native chart of a presentation. Its data sheet
// is the chart's data as a grid (the cells of its embedded workbook that the series refer to),
// and Update writes the grid back into the chart part and the embedded workbook.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "office/dispatch.h"
#include "office/value.h"

namespace office::graph {

class Application;
class DataSheet;
class DataSheetRange;
class Chart;
class ChartTitle;

namespace detail {
struct ChartServerImpl;
}

// What OLEFormat.Object gives for a native chart. Its property "Application", read with
// GetProperty, is the chart server for this chart.
class ChartObject : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "ChartObject";

    std::shared_ptr<graph::Application> Application();

    std::string_view TypeName() const override { return kTypeName; }
    std::shared_ptr<Dispatch> GetProperty(std::string_view name) override;

    explicit ChartObject(std::shared_ptr<detail::ChartServerImpl> server);

private:
    std::shared_ptr<detail::ChartServerImpl> server_;
};

// What the chart still shows from before the last paste: the names of series and categories
// that lie beyond the pasted block (the data region is the union of the old region and the
// block). Empty when the block covered the whole old region. A series without a name is given
// as "Series N", a category without a label as its number N (as the chart shows them).
struct Leftovers {
    std::vector<std::string> series;
    std::vector<std::string> categories;
};

class Application : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "GraphApplication";

    std::shared_ptr<graph::DataSheet> DataSheet();
    std::shared_ptr<graph::Chart> Chart();
    // Writes the data sheet back into the chart: the embedded workbook's cells and the chart
    // part's ranges, caches and series. Fails with NotSupported, naming slide, shape and
    // reason, for a chart that cannot be filled.
    void Update();
    // What the last Update wrote beyond the block of the last paste; empty before the first
    // Update and when no block was pasted. Still answers after Quit.
    Leftovers LeftoverData() const;
    // Ends the chart server; its objects fail with ObjectClosed afterwards.
    void Quit();

    std::string_view TypeName() const override { return kTypeName; }
    void CallMethod(std::string_view name) override;  // "Update", "Quit"

    explicit Application(std::shared_ptr<detail::ChartServerImpl> server);

private:
    std::shared_ptr<detail::ChartServerImpl> server_;
};

class DataSheet : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "DataSheet";

    // 1-based; cell (1, 1) is the corner of the chart's data region.
    std::shared_ptr<DataSheetRange> Cells(int row, int column);

    std::string_view TypeName() const override { return kTypeName; }

    explicit DataSheet(std::shared_ptr<detail::ChartServerImpl> server);

private:
    std::shared_ptr<detail::ChartServerImpl> server_;
};

class DataSheetRange : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "DataSheetRange";

    office::Value Value() const;
    void SetValue(const office::Value& value);
    // Writes the host clipboard's block with its first cell here, clearing nothing else. Fails
    // with InvalidArgument when the clipboard holds no block.
    void Paste();

    std::string_view TypeName() const override { return kTypeName; }
    void CallMethod(std::string_view name) override;  // "Paste"

    DataSheetRange(std::shared_ptr<detail::ChartServerImpl> server, int row, int column);

private:
    std::shared_ptr<detail::ChartServerImpl> server_;
    int row_;
    int column_;
};

class Chart : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "Chart";

    bool HasTitle() const;
    std::shared_ptr<graph::ChartTitle> ChartTitle();  // fails with InvalidArgument without title

    std::string_view TypeName() const override { return kTypeName; }

    explicit Chart(std::shared_ptr<detail::ChartServerImpl> server);

private:
    std::shared_ptr<detail::ChartServerImpl> server_;
};

class ChartTitle : public Dispatch {
public:
    static constexpr std::string_view kTypeName = "ChartTitle";

    std::string Caption() const;
    // Replaces the title's text, keeping the formatting of its first run. Takes effect in the
    // chart part at Update.
    void SetCaption(const std::string& caption);

    std::string_view TypeName() const override { return kTypeName; }

    explicit ChartTitle(std::shared_ptr<detail::ChartServerImpl> server);

private:
    std::shared_ptr<detail::ChartServerImpl> server_;
};

}  // namespace office::graph
