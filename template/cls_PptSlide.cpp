#include "template/cls_PptSlide.h"

#include "office/error.h"

namespace tabulon {

cls_PptSlide::cls_PptSlide() : objects_(std::make_shared<ShapeCollection>()) {}

cls_PptSlide::~cls_PptSlide() {
    objects_->Clear();
}

std::string cls_PptSlide::Name() const {
    return wrapped().Name();
}

void cls_PptSlide::SetName(const std::string& name) {
    wrapped().SetName(name);
}

office::ppt::Slide& cls_PptSlide::wrapped() const {
    if (!slide_) {
        throw office::Error(office::ErrorCode::ObjectRequired,
                            "object variable not set: the slide wrapper holds no slide");
    }
    return *slide_;
}

}  // namespace tabulon
