// Links worksheets to shapes of a template through the office host, exactly as the window's
// "linked" button stores a link, and saves the template in place:
//
//   link-slides TEMPLATE.pptx SHEET=SHAPE...
//
// For each pair, the slide that holds the shape named SHAPE takes the name SHEET, loses every
// tag, and gets the tag "Name" = SHAPE and, for a chart or a spreadsheet object, the tag "Type"
// = "Chart" or "ExcelTable". Used by make_example.sh to link the bundled example's template.
#include <cstdio>
#include <memory>
#include <string>

#include "office/error.h"
#include "office/powerpoint.h"
#include "template/cls_pptShape.h"

namespace {

namespace ppt = office::ppt;

// The "Type" tag of the mapping: "Chart" or "ExcelTable" as the template browser classifies
// the shape; empty for an object of another program.
std::string typeTag(const std::shared_ptr<ppt::Shape>& shape) {
    const std::string type = tabulon::cls_pptShape::GetShpType(shape);
    if (type == tabulon::kShapeTypeChart || type == tabulon::kShapeTypeExcelTable) {
        return type;
    }
    return {};
}

void link(ppt::Presentation& presentation, const std::string& sheet, const std::string& shapeName) {
    auto slides = presentation.Slides();
    for (int s = 1; s <= slides->Count(); ++s) {
        auto slide = slides->Item(s);
        auto shapes = slide->Shapes();
        for (int i = 1; i <= shapes->Count(); ++i) {
            auto shape = shapes->Item(i);
            if (shape->Name() != shapeName) {
                continue;
            }
            slide->SetName(sheet);
            auto tags = slide->Tags();
            for (int t = tags->Count(); t >= 1; --t) {
                tags->Delete(tags->Name(t));
            }
            tags->Add("Name", shape->Name());
            const std::string type = typeTag(shape);
            if (!type.empty()) {
                tags->Add("Type", type);
            }
            std::printf("slide %d \"%s\" -> %s (%s)\n", s, sheet.c_str(), shapeName.c_str(),
                        type.empty() ? "other object" : type.c_str());
            return;
        }
    }
    throw office::Error(office::ErrorCode::IndexOutOfRange,
                        "no slide holds a shape named \"" + shapeName + "\"");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: link-slides TEMPLATE.pptx SHEET=SHAPE...\n", stderr);
        return 2;
    }
    auto app = ppt::Application::Create();
    try {
        auto presentation = app->Presentations()->Open(argv[1]);
        for (int i = 2; i < argc; ++i) {
            const std::string pair = argv[i];
            const auto equals = pair.find('=');
            if (equals == std::string::npos) {
                std::fprintf(stderr, "not SHEET=SHAPE: %s\n", pair.c_str());
                return 2;
            }
            link(*presentation, pair.substr(0, equals), pair.substr(equals + 1));
        }
        presentation->Save();
        app->Quit();
    } catch (const office::Error& error) {
        std::fprintf(stderr, "error %d: %s\n", error.number(), error.text().c_str());
        return 1;
    }
    return 0;
}
