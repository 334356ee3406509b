// Slides and Slide: the slides of a presentation in presentation order, their names and ids.

#include "office/powerpoint.h"
#include "office/ppt/binary/model.h"
#include "office/ppt/ppt_impl.h"

namespace office::ppt {

namespace detail {

package::Package& SlideImpl::package() const {
    document->checkOpen();
    return document->package;
}

pugi::xml_document& SlideImpl::xml() const {
    return package().xml(part);
}

std::string SlideImpl::where() const {
    if (deck) {
        return deck->where(static_cast<std::size_t>(index - 1));
    }
    return document->package.displayName() + ": " + part;
}

pugi::xml_node SlideImpl::commonSlideData() const {
    pugi::xml_node common = pmlChild(xml().document_element(), "cSld");
    if (!common) {
        throw Error(ErrorCode::CorruptPart, where() + ": the slide has no <p:cSld>");
    }
    return common;
}

pugi::xml_node SlideImpl::shapeTree() const {
    pugi::xml_node tree = pmlChild(commonSlideData(), "spTree");
    if (!tree) {
        throw Error(ErrorCode::CorruptPart, where() + ": the slide has no shape tree <p:spTree>");
    }
    return tree;
}

}  // namespace detail

// Slides

Slides::Slides(std::shared_ptr<detail::PresentationImpl> presentation)
    : presentation_(std::move(presentation)) {}

int Slides::Count() const {
    presentation_->checkOpen();
    return static_cast<int>(presentation_->slides.size());
}

std::shared_ptr<Slide> Slides::Item(int index) {
    presentation_->checkOpen();
    detail::checkIndex(index, presentation_->slides.size(),
                       presentation_->displayName() + ": slide", "slides");
    return std::make_shared<Slide>(presentation_->slides[index - 1]);
}

// Slide

Slide::Slide(std::shared_ptr<detail::SlideImpl> impl) : impl_(std::move(impl)) {}

std::string Slide::Name() const {
    if (impl_->deck) {
        const std::string name = impl_->deck->slideName(detail::slideIndexOf(*impl_));
        return name.empty() ? "Slide" + std::to_string(impl_->id) : name;
    }
    package::Package& package = impl_->package();
    if (!impl_->storedName) {
        // A tree made for this read only; the slide's shared tree is parsed when its shapes,
        // tags or name are edited.
        const pugi::xml_document doc = package.readXml(impl_->part);
        pugi::xml_node common = detail::pmlChild(doc.document_element(), "cSld");
        if (!common) {
            throw Error(ErrorCode::CorruptPart, impl_->where() + ": the slide has no <p:cSld>");
        }
        impl_->storedName = common.attribute("name").value();
    }
    const std::string& name = *impl_->storedName;
    return name.empty() ? "Slide" + std::to_string(impl_->id) : name;
}

void Slide::SetName(const std::string& name) {
    if (impl_->deck) {
        impl_->deck->setSlideName(detail::slideIndexOf(*impl_), name);
        return;
    }
    pugi::xml_node common = impl_->commonSlideData();
    std::string safe = package::xmlSafe(name);
    if (safe.empty()) {
        common.remove_attribute("name");
    } else {
        package::setAttribute(common, "name", safe);
    }
    impl_->package().markDirty(impl_->part);
    impl_->storedName = safe;
}

int Slide::SlideID() const {
    detail::checkSlideOpen(*impl_);
    return impl_->id;
}

int Slide::SlideIndex() const {
    detail::checkSlideOpen(*impl_);
    return impl_->index;
}

std::shared_ptr<ppt::Shapes> Slide::Shapes() {
    if (impl_->deck) {
        detail::checkSlideOpen(*impl_);
    } else {
        impl_->shapeTree();  // a slide without one fails here, naming its part
    }                        // a slide without one fails here, naming its part
    return std::make_shared<ppt::Shapes>(impl_);
}

std::shared_ptr<ppt::Tags> Slide::Tags() {
    detail::checkSlideOpen(*impl_);
    return std::make_shared<ppt::Tags>(impl_);
}

}  // namespace office::ppt
