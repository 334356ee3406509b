#include "engine/engine_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "engine/MDL_PptReport.h"
#include "office/dispatch.h"
#include "office/excel.h"
#include "office/graph.h"
#include "office/powerpoint.h"
#include "support/validator.h"

namespace engine_test {

namespace fs = std::filesystem;
namespace ppt = office::ppt;
namespace excel = office::excel;
namespace graph = office::graph;

fs::path fixture(const std::string& name) {
    return fs::path(TABULON_FIXTURES_DIR) / "engine" / name;
}

fs::path scratchFolder() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    fs::path folder =
        fs::path(TABULON_BINARY_DIR) / "engine-tests" / info->test_suite_name() / info->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void EngineRun::SetUp() {
    folder_ = scratchFolder();
    template_ = folder_ / "template.pptx";
    output_ = folder_ / "output.pptx";
}

void EngineRun::TearDown() {
    auto& xls = MDL_PptReport::EngineXlsApp;
    if (xls && xls->IsRunning()) {
        xls->Quit();
    }
    auto& ppt = MDL_PptReport::EnginePptApp;
    if (ppt && ppt->IsRunning()) {
        ppt->Quit();
    }
    xls.reset();
    ppt.reset();
    MDL_PptReport::SourceWorkbook.reset();
}

void EngineRun::link(const std::vector<Link>& links) {
    linkTemplate(fixture("charts.pptx"), template_, links);
}

namespace {

// Runs body with a presentation open in an application of its own, quitting it afterwards
// also when body fails.
template <class Body>
void withPresentation(const fs::path& path, Body body) {
    auto app = ppt::Application::Create();
    struct QuitGuard {
        std::shared_ptr<ppt::Application> app;
        ~QuitGuard() {
            if (app->IsRunning()) {
                app->Quit();
            }
        }
    } guard{app};
    auto presentation = app->Presentations()->Open(path.string());
    body(*presentation);
}

// The shape of that name among the shapes and, at any depth, the members of their groups.
std::shared_ptr<ppt::Shape> findNamed(ppt::Shapes& shapes, const std::string& name) {
    for (int i = 1; i <= shapes.Count(); ++i) {
        auto shape = shapes.Item(i);
        if (shape->Name() == name) {
            return shape;
        }
        if (shape->IsGroup()) {
            if (auto member = findNamed(*shape->GroupItems(), name)) {
                return member;
            }
        }
    }
    return nullptr;
}

std::shared_ptr<ppt::Shape> shapeNamed(ppt::Slide& slide, const std::string& name) {
    if (auto shape = findNamed(*slide.Shapes(), name)) {
        return shape;
    }
    ADD_FAILURE() << "no shape named " << name;
    throw std::runtime_error("no shape named " + name);
}

void clearTags(ppt::Tags& tags) {
    for (int i = tags.Count(); i >= 1; --i) {
        tags.Delete(tags.Name(i));
    }
}

}  // namespace

void linkTemplate(const fs::path& source, const fs::path& target, const std::vector<Link>& links) {
    withPresentation(source, [&](ppt::Presentation& presentation) {
        for (const Link& link : links) {
            auto slide = presentation.Slides()->Item(link.slide);
            slide->SetName(link.sheet);
            auto tags = slide->Tags();
            clearTags(*tags);
            if (!link.shape.empty()) {
                tags->Add("Name", link.shape);
            }
            if (!link.type.empty()) {
                tags->Add("Type", link.type);
            }
        }
        presentation.SaveAs(target.string(), ppt::ppSaveAsPresentation);
    });
}

ChartContent readChart(const fs::path& path, int slideIndex, const std::string& shapeName, int rows,
                       int columns) {
    ChartContent content;
    withPresentation(path, [&](ppt::Presentation& presentation) {
        auto slide = presentation.Slides()->Item(slideIndex);
        auto object = shapeNamed(*slide, shapeName)->OLEFormat()->Object();
        auto server = office::As<graph::Application>(object->GetProperty("Application"));
        auto sheet = server->DataSheet();
        for (int r = 1; r <= rows; ++r) {
            auto& row = content.grid.emplace_back();
            for (int c = 1; c <= columns; ++c) {
                row.push_back(sheet->Cells(r, c)->Value());
            }
        }
        auto chart = server->Chart();
        content.hasTitle = chart->HasTitle();
        if (content.hasTitle) {
            content.title = chart->ChartTitle()->Caption();
        }
        server->Quit();
    });
    return content;
}

EmbeddedContent readEmbedded(const fs::path& path, int slideIndex, const std::string& shapeName,
                             int rows, int columns) {
    EmbeddedContent content;
    withPresentation(path, [&](ppt::Presentation& presentation) {
        auto slide = presentation.Slides()->Item(slideIndex);
        auto book =
            office::As<excel::Workbook>(shapeNamed(*slide, shapeName)->OLEFormat()->Object());
        auto sheets = book->Worksheets();
        for (int i = 1; i <= sheets->Count(); ++i) {
            content.sheetNames.push_back(sheets->Item(i)->Name());
        }
        auto first = sheets->Item(1);
        for (int r = 1; r <= rows; ++r) {
            auto& values = content.grid.emplace_back();
            auto& formats = content.formats.emplace_back();
            for (int c = 1; c <= columns; ++c) {
                auto cell = first->Cells(r, c);
                values.push_back(cell->Value());
                formats.push_back(cell->NumberFormat());
            }
        }
        if (sheets->Count() >= 2) {
            content.secondSheetA1 = sheets->Item(2)->Range("A1")->Value().toString();
        }
        book->Close();
    });
    return content;
}

std::vector<std::string> slideNames(const fs::path& path) {
    std::vector<std::string> names;
    withPresentation(path, [&](ppt::Presentation& presentation) {
        auto slides = presentation.Slides();
        for (int i = 1; i <= slides->Count(); ++i) {
            names.push_back(slides->Item(i)->Name());
        }
    });
    return names;
}

std::optional<std::string> validate(const fs::path& output, const fs::path& input) {
    return tabulon::testing::Validate(output.string(), input.string());
}

office::Value num(double v) {
    return office::Value::number(v);
}

office::Value txt(const std::string& v) {
    return office::Value::text(v);
}

}  // namespace engine_test
