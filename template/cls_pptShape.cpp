#include "template/cls_pptShape.h"

#include <algorithm>
#include <cctype>

#include "office/ascii.h"
#include "office/error.h"

namespace tabulon {
namespace {

bool containsIgnoringCase(const std::string& text, const std::string& word) {
    return office::asciiLower(text).find(word) != std::string::npos;
}

std::string progIdOf(const std::shared_ptr<office::ppt::Shape>& shape) {
    if (!shape) {
        throw office::Error(office::ErrorCode::ObjectRequired, "object variable not set");
    }
    return shape->OLEFormat()->ProgID();
}

}  // namespace

std::string cls_pptShape::Name() const {
    return shape().Name();
}

void cls_pptShape::SetName(const std::string& name) {
    shape().SetName(name);
}

std::string cls_pptShape::GroupName() const {
    const auto group = shape().ParentGroup();
    return group ? group->Name() : std::string();
}

void cls_pptShape::AddShape(std::shared_ptr<office::ppt::Shape> shape) {
    shape_ = std::move(shape);
}

std::string cls_pptShape::ShapeType() const {
    return GetShpType(shape_);
}

std::string cls_pptShape::GetShpType(const std::shared_ptr<office::ppt::Shape>& shape) {
    // Each test reads the ProgID afresh, so the answer follows the shape as it is now.
    try {
        if (shape && shape->HasTable()) {
            return kShapeTypeTable;
        }
        if (containsIgnoringCase(progIdOf(shape), "graph")) {
            return kShapeTypeChart;
        }
        if (containsIgnoringCase(progIdOf(shape), "excel")) {
            return kShapeTypeExcelTable;
        }
        return progIdOf(shape);
    } catch (...) {
        return kShapeTypeOther;
    }
}

office::ppt::Shape& cls_pptShape::shape() const {
    if (!shape_) {
        throw office::Error(office::ErrorCode::ObjectRequired,
                            "object variable not set: the shape wrapper holds no shape");
    }
    return *shape_;
}

}  // namespace tabulon
