#pragma once

// The wrapper of one template slide: the live slide of the presentation application and the
// slide's shapes that hold an embedded object, keyed by shape id in the slide's shape order.

#include <memory>
#include <string>

#include "office/powerpoint.h"
#include "template/KeyedCollection.h"
#include "template/cls_pptShape.h"

namespace tabulon {

using ShapeCollection = KeyedCollection<std::shared_ptr<cls_pptShape>>;

class cls_PptSlide {
public:
    cls_PptSlide();
    // Empties Objects first, so the shape wrappers that nothing else holds go with it.
    ~cls_PptSlide();
    cls_PptSlide(const cls_PptSlide&) = delete;
    cls_PptSlide& operator=(const cls_PptSlide&) = delete;

    // The collection itself, shared and never absent; callers add to it directly.
    const std::shared_ptr<ShapeCollection>& Objects() const noexcept { return objects_; }

    // The slide's name as the presentation reports it now. Fails as the presentation
    // application fails (ObjectRequired before a slide is assigned).
    std::string Name() const;
    // Renames the slide in the open presentation.
    void SetName(const std::string& name);

    const std::shared_ptr<office::ppt::Slide>& slide() const noexcept { return slide_; }
    void SetSlide(std::shared_ptr<office::ppt::Slide> slide) { slide_ = std::move(slide); }

private:
    office::ppt::Slide& wrapped() const;

    std::shared_ptr<ShapeCollection> objects_;
    std::shared_ptr<office::ppt::Slide> slide_;
};

using SlideCollection = KeyedCollection<std::shared_ptr<cls_PptSlide>>;

}  // namespace tabulon
