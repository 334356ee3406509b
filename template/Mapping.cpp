#include "template/Mapping.h"

#include "office/error.h"

namespace tabulon {
namespace {

std::string cancelledName(const office::ppt::Slide& slide) {
    return "slide" + std::to_string(slide.SlideID());
}

// Reads the tag count once and deletes from the last position to the first.
void removeAllTags(office::ppt::Slide& slide) {
    const auto tags = slide.Tags();
    const int count = tags->Count();
    for (int i = count; i >= 1; --i) {
        tags->Delete(tags->Name(i));
    }
}

// The classifications that a link records in the tag "Type"; any other gets none.
bool hasTypeTag(const std::string& shapeType) {
    return shapeType == kShapeTypeChart || shapeType == kShapeTypeExcelTable ||
           shapeType == kShapeTypeTable;
}

bool isShapeNode(const std::optional<TreeNode>& node) {
    return node && node->kind == NodeKind::Shape;
}

}  // namespace

NodeKind KindOfNode(bool hasParent, const std::string& parentKey) {
    if (!hasParent) {
        return NodeKind::Root;
    }
    return parentKey == kRootKey ? NodeKind::Slide : NodeKind::Shape;
}

std::optional<bool> LinkEnabledAfterClick(NodeKind clicked) {
    switch (clicked) {
        case NodeKind::Root:
            return std::nullopt;
        case NodeKind::Slide:
            return false;
        case NodeKind::Shape:
            return true;
    }
    return std::nullopt;
}

bool SlideBearsName(const SlideCollection& slides, const std::string& name) {
    const int count = slides.Count();
    for (int k = 0; k < count; ++k) {
        if (slides.ValueAt(k)->Name() == name) {
            return true;
        }
    }
    return false;
}

void RequireOpenTemplate(const BrowsedTemplate& browsed) {
    if (browsed.app && browsed.app->IsRunning()) {
        return;
    }
    throw office::Error(office::ErrorCode::ObjectClosed,
                        browsed.path +
                            ": the template is no longer open (Convert closed it); choose the "
                            "template again before linking or cancelling");
}

std::string LinkSheetToSlide(SlideCollection& slides, const std::string& sheetName,
                             const TreeNode& shapeNode) {
    if (shapeNode.kind != NodeKind::Shape) {
        throw office::Error(
            office::ErrorCode::InvalidArgument,
            "link: the tree node \"" + shapeNode.text + "\" is no shape node of a slide");
    }
    const auto& slide = slides.Item(shapeNode.slideKey);
    slide->SetName(sheetName);
    const auto& shape = slide->Objects()->Item(shapeNode.shapeKey);
    removeAllTags(*slide->slide());
    const auto tags = slide->slide()->Tags();
    tags->Add("Name", shape->Name());
    std::string slideName = slide->Name();
    const std::string shapeType = shape->ShapeType();
    if (hasTypeTag(shapeType)) {
        tags->Add("Type", shapeType);
    }
    return slideName;
}

std::string CancelMapping(SlideCollection& slides, std::int32_t slideKey) {
    const auto& slide = slides.Item(slideKey);
    removeAllTags(*slide->slide());
    slide->SetName(cancelledName(*slide->slide()));
    return cancelledName(*slide->slide());
}

LinkResult LinkCommand(const BrowsedTemplate& browsed, const std::optional<std::string>& sheetName,
                       const std::optional<TreeNode>& selected) {
    if (!sheetName || !isShapeNode(selected)) {
        return {};
    }
    RequireOpenTemplate(browsed);
    if (SlideBearsName(browsed.slides, *sheetName)) {
        return {LinkOutcome::NameTaken, {}};
    }
    return {LinkOutcome::Linked, LinkSheetToSlide(browsed.slides, *sheetName, *selected)};
}

std::optional<std::string> CancelCommand(const BrowsedTemplate& browsed,
                                         const std::optional<TreeNode>& selected) {
    if (!isShapeNode(selected)) {
        return std::nullopt;
    }
    RequireOpenTemplate(browsed);
    return CancelMapping(browsed.slides, selected->slideKey);
}

bool HasTemplateToSave(const std::shared_ptr<office::ppt::Application>& app) {
    return app && app->IsRunning() && app->Presentations()->Count() > 0;
}

void SaveTemplate(office::ppt::Application& app) {
    app.ActivePresentation()->Save();
}

}  // namespace tabulon
