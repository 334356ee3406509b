#pragma once

#include "support/validator.h"

// Helpers of the chart-server and embedded-object tests: finding the charts of a presentation
// package, filling them through the automation objects, and reading the result back.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "office/clipboard.h"
#include "office/excel/embedded.h"
#include "office/graph.h"
#include "office/package/package.h"
#include "office/ppt/object_site.h"

namespace graph_test {

namespace fs = std::filesystem;
using office::detail::ObjectSite;
using office::detail::OpenDocument;

// A worksheet of a workbook package held in memory, read through the workbook code: `sheet`, or
// the first worksheet.
inline office::excel::SheetCells openSheet(std::vector<std::uint8_t> bytes, std::string name,
                                           std::string_view sheet) {
    return office::excel::SheetCells(
        office::package::Package::openBytes(std::move(bytes), std::move(name), "workbook"), sheet);
}

inline std::string chartFixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/charts/" + name;
}

inline std::string realworld(const std::string& name) {
    return std::string(TABULON_REALWORLD_DIR) + "/" + name;
}

inline fs::path scratch() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path folder =
        fs::path(TABULON_BINARY_DIR) / "graph_tests" / info->test_suite_name() / info->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

inline std::shared_ptr<OpenDocument> openDocument(const std::string& path) {
    return std::make_shared<OpenDocument>(
        OpenDocument{office::package::Package::openFile(path, "presentation")});
}

// The slide parts in presentation order.
inline std::vector<std::string> slideParts(office::package::Package& package) {
    const auto packageRels = package.relationships("");
    const auto* main = packageRels.findByType("/officeDocument");
    const std::string presentation = office::package::resolveTarget("", main->target);
    const auto rels = package.relationships(presentation);
    std::vector<std::string> slides;
    for (pugi::xml_node id :
         package.xml(presentation).document_element().child("p:sldIdLst").children()) {
        const auto* rel = rels.find(id.attribute("r:id").value());
        if (rel) {
            slides.push_back(office::package::resolveTarget(presentation, rel->target));
        }
    }
    return slides;
}

// The site of a graphic frame on slide `slide` (the index-th slide) whose object part the
// relationship `rel` names, as the presentation code would describe it.
inline ObjectSite frameSite(const std::shared_ptr<OpenDocument>& document, const std::string& slide,
                            int index, pugi::xml_node frame,
                            const office::package::Relationship& rel) {
    const pugi::xml_node cNvPr = frame.child("p:nvGraphicFramePr").child("p:cNvPr");
    ObjectSite site;
    site.document = document;
    site.slidePart = slide;
    site.slideIndex = index;
    site.shapeId = cNvPr.attribute("id").as_int();
    site.shapeName = cNvPr.attribute("name").value();
    site.relId = rel.id;
    site.objectPart = rel.external ? "" : office::package::resolveTarget(slide, rel.target);
    return site;
}

// Every graphic frame of the deck that shows a chart part (classic or chartEx), as the
// presentation code would describe it.
inline std::vector<ObjectSite> chartSites(const std::shared_ptr<OpenDocument>& document) {
    std::vector<ObjectSite> sites;
    auto& package = document->package;
    int index = 0;
    for (const std::string& slide : slideParts(package)) {
        ++index;
        const auto rels = package.relationships(slide);
        for (pugi::xpath_node frame :
             package.xml(slide).select_nodes("//p:graphicFrame[a:graphic/a:graphicData]")) {
            const pugi::xml_node data = frame.node().child("a:graphic").child("a:graphicData");
            pugi::xml_node chart = data.first_child();
            const std::string_view name = chart.name();
            if (name != "c:chart" && name != "cx:chart") {
                continue;
            }
            const auto* rel = rels.find(chart.attribute("r:id").value());
            if (!rel) {
                continue;
            }
            ObjectSite site = frameSite(document, slide, index, frame.node(), *rel);
            site.progId = "MSGraph.Chart.8";
            site.nativeChart = true;
            sites.push_back(site);
        }
    }
    return sites;
}

// The first graphic frame of the deck that holds an embedded object (p:oleObj).
inline std::optional<ObjectSite> oleSite(const std::shared_ptr<OpenDocument>& document) {
    auto& package = document->package;
    int index = 0;
    for (const std::string& slide : slideParts(package)) {
        ++index;
        const auto rels = package.relationships(slide);
        for (pugi::xpath_node frame : package.xml(slide).select_nodes("//p:graphicFrame")) {
            const pugi::xml_node ole = frame.node().select_node(".//p:oleObj").node();
            const auto* rel = ole ? rels.find(ole.attribute("r:id").value()) : nullptr;
            if (!rel) {
                continue;
            }
            ObjectSite site = frameSite(document, slide, index, frame.node(), *rel);
            site.progId = ole.attribute("progId").value();
            return site;
        }
    }
    return std::nullopt;
}

// A block of `rows` x `columns` cells as the engine copies it: a blank corner, series names
// along the first row, category names down the first column, numbers elsewhere.
inline office::CellBlock block(int rows, int columns, const std::string& tag = "Cat") {
    office::CellBlock b;
    b.rows = rows;
    b.columns = columns;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            office::ClipCell cell;
            if (r == 0 && c > 0) {
                cell.value = office::Value::text("New series " + std::to_string(c));
            } else if (c == 0 && r > 0) {
                cell.value = office::Value::text(tag + " " + std::to_string(r));
            } else if (r > 0) {
                cell.value = office::Value::number(r * 10 + c + 0.5);
                cell.numberFormat = "0.0";
            }
            b.cells.push_back(cell);
        }
    }
    return b;
}

// The engine's Graph path: paste at the first cell, set the title where there is one, update,
// quit.
inline void fill(const ObjectSite& site, const office::CellBlock& data, const std::string& title) {
    office::Clipboard::instance().set(data);
    auto object = office::detail::openChartObject(site);
    auto app = office::As<office::graph::Application>(object->GetProperty("Application"));
    app->DataSheet()->Cells(1, 1)->CallMethod("Paste");
    auto chart = app->Chart();
    if (chart->HasTitle()) {
        chart->ChartTitle()->SetCaption(title);
    }
    app->CallMethod("Update");
    app->CallMethod("Quit");
}

using tabulon::testing::CommandResult;

inline CommandResult run(const std::string& command) {
    return tabulon::testing::runCommand(command);
}

using tabulon::testing::validateAgainst;
using tabulon::testing::validatorPresent;

// The texts of the points of a cache element, "" for a missing point.
inline std::vector<std::string> cachePoints(pugi::xml_node cache) {
    std::vector<std::string> points(cache.child("c:ptCount").attribute("val").as_int());
    for (pugi::xml_node pt : cache.children("c:pt")) {
        const auto idx = pt.attribute("idx").as_uint();
        if (idx < points.size()) {
            points[idx] = pt.child("c:v").text().get();
        }
    }
    return points;
}

}  // namespace graph_test
