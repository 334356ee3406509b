#include "template/LoadTemplate.h"

namespace tabulon {
namespace {

// Adds the shapes that hold a chart, table object or native table, and those inside groups
// (at any depth) after the group's place: a user may group a chart with its caption.
void addClassifiedShapes(cls_PptSlide& wrapper, office::ppt::Shapes& shapes) {
    const int count = shapes.Count();
    for (int j = 1; j <= count; ++j) {
        const auto shape = shapes.Item(j);
        if (shape->IsGroup()) {
            addClassifiedShapes(wrapper, *shape->GroupItems());
            continue;
        }
        auto shapeWrapper = std::make_shared<cls_pptShape>();
        shapeWrapper->AddShape(shape);
        if (shapeWrapper->ShapeType() == kShapeTypeOther) {
            continue;
        }
        wrapper.Objects()->Add(shape->Id(), std::move(shapeWrapper));
    }
}

}  // namespace

void LoadTemplate(std::shared_ptr<office::ppt::Application>& pptApp, SlideCollection& slideTable,
                  const std::string& path) {
    if (!pptApp) {
        pptApp = office::ppt::Application::Create();
    }
    pptApp->SetVisible(office::ppt::msoCTrue);
    const auto presentation = pptApp->Presentations()->Open(
        path, office::ppt::msoFalse, office::ppt::msoFalse, office::ppt::msoTrue);
    slideTable.Clear();
    const auto slides = presentation->Slides();
    const int count = slides->Count();
    for (int i = 1; i <= count; ++i) {
        const auto slide = slides->Item(i);
        auto wrapper = std::make_shared<cls_PptSlide>();
        wrapper->SetSlide(slide);
        // The slide goes into the table before its shapes are read, so a failure on a shape
        // leaves the slide listed, as the slides wrapped so far stay listed.
        slideTable.Add(slide->SlideID(), wrapper);
        addClassifiedShapes(*wrapper, *slide->Shapes());
    }
}

}  // namespace tabulon
