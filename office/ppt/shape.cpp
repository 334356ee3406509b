// Shapes, Shape and OLEFormat: the top-level shapes of a slide's shape tree, their names and ids,
// and the embedded objects that OLE object frames and native charts hold.

#include <cctype>
#include <optional>

#include "office/ascii.h"
#include "office/powerpoint.h"
#include "office/ppt/binary/model.h"
#include "office/ppt/ppt_impl.h"
#include "office/ppt/table_impl.h"

namespace office::ppt {

namespace {

namespace ns = package::ns;

// What a shape holds, read from its graphic frame.
struct EmbeddedObject {
    std::string progId;
    std::string relId;
    bool nativeChart = false;
};

pugi::xml_node properties(pugi::xml_node shape) {
    std::vector<pugi::xml_node> found = detail::shapeProperties(shape);
    return found.empty() ? pugi::xml_node() : found.front();
}

int idOf(pugi::xml_node shape) {
    return properties(shape).attribute("id").as_int();
}

std::string describeShape(const detail::ShapeImpl& shape, pugi::xml_node element) {
    return shape.slide->document->package.displayName() + ": slide " +
           std::to_string(shape.slide->index) + ", shape \"" +
           properties(element).attribute("name").value() + "\"";
}

// The graphic data of a graphic frame, with the uri that says what it holds.
pugi::xml_node graphicData(pugi::xml_node shape) {
    if (!package::is(shape, ns::kPresentation, "graphicFrame")) {
        return {};
    }
    return package::child(package::child(shape, ns::kDrawing, "graphic"), ns::kDrawing,
                          "graphicData");
}

// The p:oleObj of an OLE object frame's graphic data, also where Office wraps it in an
// mc:AlternateContent (the choice and the fallback name the same object).
pugi::xml_node oleObject(pugi::xml_node data) {
    if (pugi::xml_node object = detail::pmlChild(data, "oleObj")) {
        return object;
    }
    pugi::xml_node alternate = package::child(data, ns::kMarkupCompatibility, "AlternateContent");
    for (pugi::xml_node branch : package::children(alternate, ns::kMarkupCompatibility)) {
        if (pugi::xml_node object = detail::pmlChild(branch, "oleObj")) {
            return object;
        }
    }
    return {};
}

std::optional<EmbeddedObject> embeddedObject(pugi::xml_node element) {
    pugi::xml_node data = graphicData(detail::effectiveShape(element));
    std::string_view uri = data.attribute("uri").value();
    if (uri.ends_with("/ole")) {
        pugi::xml_node object = oleObject(data);
        return EmbeddedObject{object.attribute("progId").value(), detail::relationshipId(object),
                              false};
    }
    if (uri.ends_with("/chart") || uri.ends_with("/chartex")) {
        pugi::xml_node chart = package::child(data, ns::kChart, "chart");
        if (!chart) {
            chart = package::child(data, ns::kChartEx, "chart");
        }
        return EmbeddedObject{std::string(kChartServerProgID), detail::relationshipId(chart), true};
    }
    return std::nullopt;
}

// Native charts and chart objects of other chart servers ("MSGraph.Chart.8") go to the chart
// server, which fills the first and refuses the others by name; everything else is offered as an
// embedded workbook.
bool servedAsChart(const EmbeddedObject& object) {
    if (object.nativeChart) {
        return true;
    }
    return asciiLower(object.progId).find("graph") != std::string::npos;
}

std::string kindOf(pugi::xml_node element) {
    pugi::xml_node shape = detail::effectiveShape(element);
    if (package::is(shape, ns::kPresentation, "pic")) {
        return "a picture";
    }
    if (package::is(shape, ns::kPresentation, "grpSp")) {
        return "a group";
    }
    if (package::is(shape, ns::kPresentation, "cxnSp")) {
        return "a connector";
    }
    if (package::is(shape, ns::kPresentation, "sp")) {
        return "an auto shape, text box or placeholder";
    }
    std::string_view uri = graphicData(shape).attribute("uri").value();
    if (uri.ends_with("/table")) {
        return "a table";
    }
    if (embeddedObject(element)) {
        return "an embedded object";
    }
    return "a <" + std::string(shape.name()) + ">";
}

EmbeddedObject requireObject(const detail::ShapeImpl& shape, pugi::xml_node element) {
    std::optional<EmbeddedObject> object = embeddedObject(element);
    if (!object) {
        throw Error(
            ErrorCode::TypeMismatch,
            describeShape(shape, element) + " holds no embedded object: it is " + kindOf(element));
    }
    return *object;
}

}  // namespace

namespace detail {

pugi::xml_node ShapeImpl::element() const {
    std::vector<pugi::xml_node> shapes = topLevelShapes(slide->shapeTree());
    if (position >= 1 && position <= static_cast<int>(shapes.size()) &&
        idOf(shapes[position - 1]) == id) {
        return shapes[position - 1];
    }
    for (pugi::xml_node shape : shapes) {
        if (idOf(shape) == id) {
            return shape;
        }
    }
    throw Error(ErrorCode::IndexOutOfRange,
                slide->where() + ": shape " + std::to_string(id) + " is no longer on the slide");
}

std::string ShapeImpl::describe() const {
    return describeShape(*this, element());
}

pugi::xml_node tableOf(pugi::xml_node shape) {
    pugi::xml_node data = graphicData(effectiveShape(shape));
    if (!std::string_view(data.attribute("uri").value()).ends_with("/table")) {
        return {};
    }
    return package::child(data, package::ns::kDrawing, "tbl");
}

}  // namespace detail

// Shapes

Shapes::Shapes(std::shared_ptr<detail::SlideImpl> slide) : slide_(std::move(slide)) {}

int Shapes::Count() const {
    if (slide_->deck) {
        return static_cast<int>(slide_->deck->shapes(detail::slideIndexOf(*slide_)).size());
    }
    return static_cast<int>(detail::topLevelShapes(slide_->shapeTree()).size());
}

std::shared_ptr<Shape> Shapes::Item(int index) {
    if (slide_->deck) {
        const auto& shapes = slide_->deck->shapes(detail::slideIndexOf(*slide_));
        detail::checkIndex(index, shapes.size(), slide_->where() + ": shape", "shapes");
        return std::make_shared<Shape>(std::make_shared<detail::ShapeImpl>(
            detail::ShapeImpl{slide_, index, shapes[static_cast<std::size_t>(index - 1)].id}));
    }
    std::vector<pugi::xml_node> shapes = detail::topLevelShapes(slide_->shapeTree());
    detail::checkIndex(index, shapes.size(), slide_->where() + ": shape", "shapes");
    auto impl = std::make_shared<detail::ShapeImpl>();
    impl->slide = slide_;
    impl->position = index;
    impl->id = idOf(shapes[index - 1]);
    return std::make_shared<Shape>(impl);
}

// Shape

Shape::Shape(std::shared_ptr<detail::ShapeImpl> impl) : impl_(std::move(impl)) {}

std::string Shape::Name() const {
    if (impl_->slide->deck) {
        return detail::binaryShape(*impl_).name;
    }
    return properties(impl_->element()).attribute("name").value();
}

void Shape::SetName(const std::string& name) {
    if (impl_->slide->deck) {
        impl_->slide->deck->setShapeName(detail::slideIndexOf(*impl_->slide),
                                         detail::binaryShape(*impl_).id, name);
        return;
    }
    for (pugi::xml_node nonVisual : detail::shapeProperties(impl_->element())) {
        package::setAttribute(nonVisual, "name", name);
    }
    impl_->slide->package().markDirty(impl_->slide->part);
}

int Shape::Id() const {
    if (impl_->slide->deck) {
        return detail::binaryShape(*impl_).id;
    }
    return idOf(impl_->element());
}

std::shared_ptr<ppt::OLEFormat> Shape::OLEFormat() {
    if (impl_->slide->deck) {
        detail::binaryObject(*impl_);
        return std::make_shared<ppt::OLEFormat>(impl_);
    }
    requireObject(*impl_, impl_->element());
    return std::make_shared<ppt::OLEFormat>(impl_);
}

bool Shape::HasTable() const {
    if (impl_->slide->deck) {
        detail::binaryShape(*impl_);
        return false;  // a .ppt has no native tables
    }
    return static_cast<bool>(detail::tableOf(impl_->element()));
}

std::shared_ptr<ppt::Table> Shape::Table() {
    if (impl_->slide->deck) {
        throw Error(ErrorCode::TypeMismatch,
                    detail::describeBinaryShape(*impl_) + " holds no table");
    }
    pugi::xml_node element = impl_->element();
    if (!detail::tableOf(element)) {
        throw Error(ErrorCode::TypeMismatch,
                    describeShape(*impl_, element) + " holds no table: it is " + kindOf(element));
    }
    return std::make_shared<ppt::Table>(impl_);
}

std::shared_ptr<Slide> Shape::Parent() const {
    detail::checkSlideOpen(*impl_->slide);
    return std::make_shared<Slide>(impl_->slide);
}

// OLEFormat

OLEFormat::OLEFormat(std::shared_ptr<detail::ShapeImpl> shape) : shape_(std::move(shape)) {}

std::string OLEFormat::ProgID() const {
    if (shape_->slide->deck) {
        return detail::binaryObject(*shape_).progId;
    }
    return requireObject(*shape_, shape_->element()).progId;
}

office::detail::ObjectSite OLEFormat::Site() const {
    if (shape_->slide->deck) {
        detail::refuseBinaryObject(*shape_);
    }
    pugi::xml_node element = shape_->element();
    EmbeddedObject object = requireObject(*shape_, element);
    const detail::SlideImpl& slide = *shape_->slide;
    office::detail::ObjectSite site;
    site.document = slide.document;
    site.slidePart = slide.part;
    site.slideIndex = slide.index;
    site.shapeId = idOf(element);
    site.shapeName = properties(element).attribute("name").value();
    site.relId = object.relId;
    site.progId = object.progId;
    site.nativeChart = object.nativeChart;
    site.chartServer = servedAsChart(object);

    package::Package& package = slide.package();
    package::Relationships rels = package.relationships(slide.part);
    const package::Relationship* rel = rels.find(object.relId);
    if (!rel) {
        throw Error(ErrorCode::CorruptPart, site.where() + ": " + slide.part +
                                                ": the object refers to \"" + object.relId +
                                                "\", a relationship that points nowhere");
    }
    if (!rel->external) {
        site.objectPart = package::resolveTarget(slide.part, rel->target);
        if (!package.has(site.objectPart)) {
            throw Error(ErrorCode::CorruptPart, site.where() + ": " + slide.part +
                                                    ": the object part " + site.objectPart +
                                                    " is not in the package");
        }
    }
    return site;
}

}  // namespace office::ppt
