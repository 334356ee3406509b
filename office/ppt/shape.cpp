// Shapes, Shape and OLEFormat: the shapes of a slide's shape tree and of its groups, their names
// and ids, and the embedded objects that OLE object frames and native charts hold.

#include <cctype>
#include <optional>

#include "office/ascii.h"
#include "office/powerpoint.h"
#include "office/ppt/binary/drawing.h"
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

// A ProgID that says nothing of the object: left out (as LibreOffice writes OLE objects), or
// the packager's, which wraps any file.
bool saysNothing(const std::string& progId) {
    return progId.empty() || progId == "Package";
}

// The ProgID of the object part itself, for an object whose frame does not name it; the
// frame's when the part says nothing either (or is missing, linked or outside the package).
std::string partProgId(const detail::ShapeImpl& shape, const EmbeddedObject& object) {
    const detail::SlideImpl& slide = *shape.slide;
    package::Package& package = slide.package();
    const package::Relationships rels = package.relationships(slide.part);
    const package::Relationship* rel = rels.find(object.relId);
    if (!rel || rel->external) {
        return object.progId;
    }
    const std::string part = package::resolveTarget(slide.part, rel->target);
    const std::string found =
        package.has(part) ? office::detail::recogniseProgId(package, part) : "";
    return found.empty() ? object.progId : found;
}

EmbeddedObject requireObject(const detail::ShapeImpl& shape, pugi::xml_node element) {
    std::optional<EmbeddedObject> object = embeddedObject(element);
    if (!object) {
        throw Error(
            ErrorCode::TypeMismatch,
            describeShape(shape, element) + " holds no embedded object: it is " + kindOf(element));
    }
    if (!object->nativeChart && saysNothing(object->progId)) {
        object->progId = partProgId(shape, *object);
    }
    return *object;
}

// The shapes of a .ppt slide, or the members of its group of that id (empty when the group is
// gone).
const std::vector<ppt::binary::ShapeInfo>& binaryMembers(const detail::SlideImpl& slide,
                                                         int group) {
    static const std::vector<ppt::binary::ShapeInfo> none;
    const auto& shapes = slide.deck->shapes(detail::slideIndexOf(slide));
    if (group == 0) {
        return shapes;
    }
    const ppt::binary::ShapeInfo* holder = ppt::binary::findShape(shapes, group);
    return holder ? holder->members : none;
}

}  // namespace

namespace {

// The id of the group that holds the shape of that id (`holder` for a shape right in
// `shapes`); -1 when no shape has that id.
int groupOfBinary(const std::vector<ppt::binary::ShapeInfo>& shapes, int id, int holder) {
    for (const ppt::binary::ShapeInfo& shape : shapes) {
        if (shape.id == id) {
            return holder;
        }
        if (int found = groupOfBinary(shape.members, id, shape.id); found >= 0) {
            return found;
        }
    }
    return -1;
}

int groupOfElement(pugi::xml_node container, int id, int holder) {
    for (pugi::xml_node shape : detail::topLevelShapes(container)) {
        pugi::xml_node held = detail::effectiveShape(shape);
        if (idOf(held) == id) {
            return holder;
        }
        if (package::is(held, ns::kPresentation, "grpSp")) {
            if (int found = groupOfElement(held, id, idOf(held)); found >= 0) {
                return found;
            }
        }
    }
    return -1;
}

}  // namespace

namespace detail {

pugi::xml_node findGroup(pugi::xml_node container, int id) {
    for (pugi::xml_node shape : topLevelShapes(container)) {
        pugi::xml_node held = effectiveShape(shape);
        if (!package::is(held, ns::kPresentation, "grpSp")) {
            continue;
        }
        if (idOf(held) == id) {
            return held;
        }
        if (pugi::xml_node inner = findGroup(held, id)) {
            return inner;
        }
    }
    return {};
}

// The slide's shape tree, or the group that holds the shapes; null when the group is gone.
pugi::xml_node containerOf(const SlideImpl& slide, int group) {
    pugi::xml_node tree = slide.shapeTree();
    return group == 0 ? tree : findGroup(tree, group);
}

pugi::xml_node ShapeImpl::element() const {
    std::vector<pugi::xml_node> shapes = topLevelShapes(containerOf(*slide, group));
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

Shapes::Shapes(std::shared_ptr<detail::SlideImpl> slide, int group)
    : slide_(std::move(slide)), group_(group) {}

int Shapes::Count() const {
    if (slide_->deck) {
        return static_cast<int>(binaryMembers(*slide_, group_).size());
    }
    return static_cast<int>(detail::topLevelShapes(detail::containerOf(*slide_, group_)).size());
}

std::shared_ptr<Shape> Shapes::Item(int index) {
    auto impl = std::make_shared<detail::ShapeImpl>();
    impl->slide = slide_;
    impl->position = index;
    impl->group = group_;
    if (slide_->deck) {
        const auto& shapes = binaryMembers(*slide_, group_);
        detail::checkIndex(index, shapes.size(), slide_->where() + ": shape", "shapes");
        impl->id = shapes[static_cast<std::size_t>(index - 1)].id;
        return std::make_shared<Shape>(impl);
    }
    std::vector<pugi::xml_node> shapes =
        detail::topLevelShapes(detail::containerOf(*slide_, group_));
    detail::checkIndex(index, shapes.size(), slide_->where() + ": shape", "shapes");
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

bool Shape::IsGroup() const {
    if (impl_->slide->deck) {
        return detail::binaryShape(*impl_).group;
    }
    return package::is(detail::effectiveShape(impl_->element()), ns::kPresentation, "grpSp");
}

std::shared_ptr<Shapes> Shape::GroupItems() {
    if (!IsGroup()) {
        const std::string where =
            impl_->slide->deck ? detail::describeBinaryShape(*impl_) : impl_->describe();
        throw Error(ErrorCode::TypeMismatch, where + " is not a group");
    }
    return std::make_shared<Shapes>(impl_->slide, Id());
}

std::shared_ptr<Shape> Shape::ParentGroup() const {
    if (impl_->group == 0) {
        detail::checkSlideOpen(*impl_->slide);
        return nullptr;
    }
    auto impl = std::make_shared<detail::ShapeImpl>();
    impl->slide = impl_->slide;
    impl->id = impl_->group;
    if (impl_->slide->deck) {
        impl->group = groupOfBinary(impl_->slide->deck->shapes(detail::slideIndexOf(*impl->slide)),
                                    impl->id, 0);
    } else {
        pugi::xml_node tree = impl_->slide->shapeTree();
        impl->group = groupOfElement(tree, impl->id, 0);
    }
    return std::make_shared<Shape>(impl);
}

// OLEFormat

OLEFormat::OLEFormat(std::shared_ptr<detail::ShapeImpl> shape) : shape_(std::move(shape)) {}

std::string OLEFormat::ProgID() const {
    if (shape_->slide->deck) {
        return detail::binaryObject(*shape_).progId;
    }
    return requireObject(*shape_, shape_->element()).progId;
}

std::optional<office::detail::LegacyObjectSite> OLEFormat::LegacySite() const {
    if (!shape_->slide->deck) {
        return std::nullopt;
    }
    return detail::legacySite(*shape_);
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
