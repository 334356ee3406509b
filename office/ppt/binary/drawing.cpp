#include "office/ppt/binary/drawing.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>
#include <span>

#include <QByteArray>

#include "office/error.h"

namespace office::ppt::binary {

namespace {

constexpr std::uint16_t kDrawingContainer = 0x040C;
constexpr std::uint16_t kDgContainer = 0xF002;
constexpr std::uint16_t kSpgrContainer = 0xF003;
constexpr std::uint16_t kSpContainer = 0xF004;
constexpr std::uint16_t kFsp = 0xF00A;
constexpr std::uint16_t kFopt = 0xF00B;
constexpr std::uint16_t kTertiaryFopt = 0xF122;
constexpr std::uint16_t kClientData = 0xF011;
constexpr std::uint16_t kExObjRefAtom = 0x0BC1;
constexpr std::uint16_t kGroupCoordinates = 0xF009;  // OfficeArtFSPGR
constexpr std::uint16_t kChildAnchor = 0xF00F;
constexpr std::uint16_t kClientAnchor = 0xF010;

constexpr std::uint16_t kNameProperty = 0x0380;
constexpr std::uint16_t kPictureProperty = 0x0104;  // pib
constexpr std::uint16_t kBlipId = 0x4000;           // the value is an index of the blip store
constexpr std::uint16_t kComplex = 0x8000;
constexpr std::uint16_t kPropertyNumber = 0x3FFF;
constexpr std::uint32_t kPatriarch = 0x4;
constexpr std::uint32_t kBackground = 0x400;
constexpr std::uint16_t kPictureFrame = 75;
constexpr std::uint16_t kTextBox = 202;
constexpr std::size_t kMaxInflated = 512u << 20;
// No zlib stream inflates to more than about 1032 times its length.
constexpr std::size_t kMaxRatio = 1032;
// EMU per master unit (914400 an inch against 576), times two.
constexpr std::int64_t kEmuTimesTwo = 3175;

// One entry of an OfficeArtFOPT with the complex data that belongs to it.
struct Property {
    std::uint16_t opid = 0;
    std::uint32_t value = 0;
    Bytes complex;
};

// The properties of an FOPT; nullopt unless the table and its complex data fill it exactly.
std::optional<std::vector<Property>> parseProperties(const Record& fopt) {
    const std::size_t count = fopt.header.instance;
    const Bytes& body = fopt.body;
    if (count * 6 > body.size()) {
        return std::nullopt;
    }
    std::vector<Property> properties;
    std::size_t data = count * 6;
    for (std::size_t i = 0; i < count; ++i) {
        Property property{u16At(body, i * 6), u32At(body, i * 6 + 2), {}};
        if (property.opid & kComplex) {
            if (property.value > body.size() - data) {
                return std::nullopt;
            }
            const auto from = body.begin() + static_cast<std::ptrdiff_t>(data);
            property.complex.assign(from, from + static_cast<std::ptrdiff_t>(property.value));
            data += property.value;
        }
        properties.push_back(std::move(property));
    }
    if (data != body.size()) {
        return std::nullopt;
    }
    return properties;
}

Record buildFopt(const std::vector<Property>& properties) {
    Bytes body;
    for (const Property& property : properties) {
        appendU16(body, property.opid);
        appendU32(body, property.value);
    }
    for (const Property& property : properties) {
        body.insert(body.end(), property.complex.begin(), property.complex.end());
    }
    Record fopt = makeAtom(kFopt, static_cast<std::uint16_t>(properties.size()), std::move(body));
    fopt.header.version = 3;
    return fopt;
}

// The name that a shape container stores; nullopt when none.
std::optional<std::string> storedName(const Record& container) {
    for (std::uint16_t type : {kFopt, kTertiaryFopt}) {
        const Record* fopt = container.child(type);
        if (!fopt) {
            continue;
        }
        // The name is read even when later properties are damaged: only those before it count.
        const std::size_t count = fopt->header.instance;
        std::size_t data = count * 6;
        for (std::size_t i = 0; i < count && (i + 1) * 6 <= fopt->body.size(); ++i) {
            const std::uint16_t opid = u16At(fopt->body, i * 6);
            const std::uint32_t size = u32At(fopt->body, i * 6 + 2);
            if (!(opid & kComplex)) {
                continue;
            }
            if (data > fopt->body.size() || size > fopt->body.size() - data) {
                break;
            }
            if ((opid & kPropertyNumber) == kNameProperty) {
                std::string name = fromUtf16(std::span(fopt->body).subspan(data, size));
                while (!name.empty() && name.back() == '\0') {
                    name.pop_back();
                }
                return name;
            }
            data += size;
        }
    }
    return std::nullopt;
}

ShapeInfo readShape(const Record& container, std::vector<std::size_t> path) {
    ShapeInfo shape;
    shape.path = std::move(path);
    if (const Record* fsp = container.child(kFsp)) {
        shape.id = static_cast<int>(u32At(fsp->body, 0));
        shape.shapeType = fsp->header.instance;
    }
    if (std::optional<std::string> name = storedName(container)) {
        shape.name = *name;
        shape.nameStored = !name->empty();
    }
    if (const Record* client = container.child(kClientData)) {
        if (const Record* ref = client->child(kExObjRefAtom); ref && ref->body.size() >= 4) {
            shape.objectId = u32At(ref->body, 0);
        }
    }
    return shape;
}

std::uint32_t flagsOf(const Record& container) {
    const Record* fsp = container.child(kFsp);
    return fsp ? u32At(fsp->body, 4) : 0;
}

// The shapes of a group container after its first child, the group's own shape (for the group
// that holds the drawing, the patriarch).
std::vector<ShapeInfo> readGroup(const Record& group, const std::vector<std::size_t>& path) {
    std::vector<ShapeInfo> shapes;
    for (std::size_t i = 1; i < group.children.size(); ++i) {
        const Record& child = group.children[i];
        std::vector<std::size_t> at = path;
        at.push_back(i);
        if (child.header.type == kSpContainer && !(flagsOf(child) & (kPatriarch | kBackground))) {
            shapes.push_back(readShape(child, at));
        } else if (child.header.type == kSpgrContainer && !child.children.empty() &&
                   child.children.front().header.type == kSpContainer) {
            at.push_back(0);
            ShapeInfo shape = readShape(child.children.front(), at);
            at.pop_back();
            shape.group = true;
            shape.members = readGroup(child, at);
            shapes.push_back(std::move(shape));
        }
    }
    return shapes;
}

std::string kindOf(const ShapeInfo& shape) {
    if (shape.objectId) {
        return "Object";
    }
    if (shape.group) {
        return "Group";
    }
    if (shape.shapeType == kPictureFrame) {
        return "Picture";
    }
    if (shape.shapeType == kTextBox) {
        return "Text Box";
    }
    return "Shape";
}

void collectNames(const std::vector<ShapeInfo>& shapes, std::set<std::string>& names) {
    for (const ShapeInfo& shape : shapes) {
        if (shape.nameStored) {
            names.insert(shape.name);
        }
        collectNames(shape.members, names);
    }
}

void giveNames(std::vector<ShapeInfo>& shapes, std::set<std::string>& names) {
    for (ShapeInfo& shape : shapes) {
        if (!shape.nameStored) {
            const std::string base = kindOf(shape) + " " + std::to_string(shape.id);
            shape.name = base;
            for (int n = 2; names.count(shape.name); ++n) {
                shape.name = base + " (" + std::to_string(n) + ")";
            }
            names.insert(shape.name);
        }
        giveNames(shape.members, names);
    }
}

template <typename R>
R* containerAt(R& drawing, std::span<const std::size_t> path) {
    R* at = &drawing;
    for (std::size_t index : path) {
        if (index >= at->children.size()) {
            return nullptr;
        }
        at = &at->children[index];
    }
    return at;
}

Record& shapeContainer(Record& drawing, const ShapeInfo& shape, const std::string& where) {
    Record* container = containerAt(drawing, std::span<const std::size_t>(shape.path));
    if (!container || container->header.type != kSpContainer) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": shape " + std::to_string(shape.id) + " is no longer on the slide");
    }
    return *container;
}

// The properties of the shape's OfficeArtFOPT, which is made after its FSP when it has none.
std::vector<Property> propertiesOf(Record& container, const ShapeInfo& shape,
                                   const std::string& where, std::string_view purpose) {
    Record* fopt = container.child(kFopt);
    if (!fopt) {
        auto after = std::find_if(container.children.begin(), container.children.end(),
                                  [](const Record& r) { return r.header.type == kFsp; });
        auto at = after == container.children.end() ? container.children.begin() : after + 1;
        fopt = &*container.children.insert(at, buildFopt({}));
    }
    std::optional<std::vector<Property>> properties = parseProperties(*fopt);
    if (!properties) {
        throw Error(ErrorCode::NotSupported, where + ": shape " + std::to_string(shape.id) +
                                                 ": its properties do not parse, so " +
                                                 std::string(purpose));
    }
    return std::move(*properties);
}

// Puts the property where its number places it among the others, replacing one of that number.
void insertSorted(std::vector<Property>& properties, Property property) {
    const std::uint16_t number = property.opid & kPropertyNumber;
    std::erase_if(properties,
                  [&](const Property& p) { return (p.opid & kPropertyNumber) == number; });
    auto at = std::find_if(properties.begin(), properties.end(),
                           [&](const Property& p) { return (p.opid & kPropertyNumber) > number; });
    properties.insert(at, std::move(property));
}

std::int64_t i32At(const Bytes& bytes, std::size_t at) {
    return static_cast<std::int32_t>(u32At(bytes, at));
}

std::int64_t i16At(const Bytes& bytes, std::size_t at) {
    return static_cast<std::int16_t>(u16At(bytes, at));
}

struct Extent {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// A rectangle of four i32 as left, top, right, bottom (child anchors, group coordinates).
Extent extentOf(const Record& rect) {
    const Bytes& b = rect.body;
    return {std::abs(i32At(b, 8) - i32At(b, 0)), std::abs(i32At(b, 12) - i32At(b, 4))};
}

// The client anchor of a slide's shape: top, left, right, bottom in master units, as four i16
// or, in its long form, four i32.
Extent clientExtent(const Record& anchor) {
    const Bytes& b = anchor.body;
    if (b.size() >= 16) {
        return {std::abs(i32At(b, 8) - i32At(b, 4)), std::abs(i32At(b, 12) - i32At(b, 0))};
    }
    return {std::abs(i16At(b, 4) - i16At(b, 2)), std::abs(i16At(b, 6) - i16At(b, 0))};
}

// The size in EMU of the shape container at `path`.
Extent extentAt(const Record& drawing, std::vector<std::size_t> path, const ShapeInfo& shape,
                const std::string& where) {
    const Record* container = containerAt(drawing, std::span<const std::size_t>(path));
    const std::string subject = where + ": shape " + std::to_string(shape.id);
    const Record* client = container ? container->child(kClientAnchor) : nullptr;
    if (client && client->body.size() >= 8) {
        const Extent size = clientExtent(*client);
        return {size.width * kEmuTimesTwo / 2, size.height * kEmuTimesTwo / 2};
    }
    const Record* child = container ? container->child(kChildAnchor) : nullptr;
    if (!child || child->body.size() < 16 || path.size() < 4) {
        throw Error(ErrorCode::CorruptPart, subject + " has no anchor, so its size is unknown");
    }
    // A child anchor counts in the coordinates of the group that holds the shape; a group's own
    // shape (the first of its container) lies in the group around that one.
    const bool ownShape = path.back() == 0;
    path.pop_back();
    if (ownShape) {
        path.pop_back();
    }
    path.push_back(0);
    const Record* group = containerAt(drawing, std::span<const std::size_t>(path));
    const Record* coordinates = group ? group->child(kGroupCoordinates) : nullptr;
    const Extent space =
        coordinates && coordinates->body.size() >= 16 ? extentOf(*coordinates) : Extent{};
    if (space.width == 0 || space.height == 0) {
        throw Error(ErrorCode::CorruptPart,
                    subject +
                        " lies in a group whose coordinates are empty, so its size is "
                        "unknown");
    }
    const Extent outer = extentAt(drawing, path, shape, where);
    const Extent inner = extentOf(*child);
    return {inner.width * outer.width / space.width, inner.height * outer.height / space.height};
}

const ShapeInfo* findGiven(const std::vector<ShapeInfo>& shapes, const std::string& name) {
    for (const ShapeInfo& shape : shapes) {
        if (!shape.nameStored && shape.name == name) {
            return &shape;
        }
        if (const ShapeInfo* found = findGiven(shape.members, name)) {
            return found;
        }
    }
    return nullptr;
}

}  // namespace

std::vector<ShapeInfo> readShapes(const Record& drawing) {
    const Record* dg = drawing.child(kDgContainer);
    const Record* top = dg ? dg->child(kSpgrContainer) : nullptr;
    if (!top) {
        return {};
    }
    const std::size_t dgIndex = static_cast<std::size_t>(dg - drawing.children.data());
    const std::size_t topIndex = static_cast<std::size_t>(top - dg->children.data());
    std::vector<ShapeInfo> shapes = readGroup(*top, {dgIndex, topIndex});
    std::set<std::string> names;
    collectNames(shapes, names);
    giveNames(shapes, names);
    return shapes;
}

const ShapeInfo* findShape(const std::vector<ShapeInfo>& shapes, int id) {
    for (const ShapeInfo& shape : shapes) {
        if (shape.id == id) {
            return &shape;
        }
        if (const ShapeInfo* found = findShape(shape.members, id)) {
            return found;
        }
    }
    return nullptr;
}

void storeName(Record& drawing, const ShapeInfo& shape, const std::string& name,
               const std::string& where) {
    Record& container = shapeContainer(drawing, shape, where);
    std::vector<Property> properties =
        propertiesOf(container, shape, where, "its name cannot be stored");
    Property named{static_cast<std::uint16_t>(kNameProperty | kComplex), 0, toUtf16(name)};
    named.complex.push_back(0);
    named.complex.push_back(0);
    named.value = static_cast<std::uint32_t>(named.complex.size());
    insertSorted(properties, std::move(named));
    *container.child(kFopt) = buildFopt(properties);
}

void setPicture(Record& drawing, const ShapeInfo& shape, std::uint32_t blip,
                const std::string& where) {
    Record& container = shapeContainer(drawing, shape, where);
    std::vector<Property> properties =
        propertiesOf(container, shape, where, "it cannot be given its new picture");
    insertSorted(properties, {static_cast<std::uint16_t>(kPictureProperty | kBlipId), blip, {}});
    *container.child(kFopt) = buildFopt(properties);
}

std::pair<std::int64_t, std::int64_t> shapeSize(const Record& drawing, const ShapeInfo& shape,
                                                const std::string& where) {
    const Extent size = extentAt(drawing, shape.path, shape, where);
    return {size.width, size.height};
}

void storeGivenName(Record& slide, const std::vector<ShapeInfo>& shapes, const std::string& name,
                    const std::string& where) {
    const ShapeInfo* shape = findGiven(shapes, name);
    Record* drawing = slide.child(kDrawingContainer);
    if (shape && drawing) {
        storeName(*drawing, *shape, name, where);
    }
}

Bytes inflateStorage(const Bytes& body, const std::string& where) {
    const std::uint32_t size = u32At(body, 0);
    if (body.size() < 4 || size > kMaxInflated || size > (body.size() - 4) * kMaxRatio) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": the compressed storage claims " + std::to_string(size) + " bytes");
    }
    // qUncompress reads the expected size big-endian before the zlib stream.
    QByteArray input;
    input.reserve(static_cast<qsizetype>(body.size()));
    for (int shift = 24; shift >= 0; shift -= 8) {
        input.append(static_cast<char>((size >> shift) & 0xFF));
    }
    input.append(reinterpret_cast<const char*>(body.data()) + 4,
                 static_cast<qsizetype>(body.size() - 4));
    const QByteArray output = qUncompress(input);
    if (output.size() != static_cast<qsizetype>(size)) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": the compressed storage does not inflate to its " +
                        std::to_string(size) + " bytes");
    }
    return Bytes(output.begin(), output.end());
}

Bytes deflateStorage(const Bytes& storage) {
    // qCompress puts the size big-endian before the zlib stream; the record has it
    // little-endian.
    const QByteArray packed = qCompress(storage.data(), static_cast<qsizetype>(storage.size()));
    Bytes body;
    body.reserve(static_cast<std::size_t>(packed.size()));
    appendU32(body, static_cast<std::uint32_t>(storage.size()));
    body.insert(body.end(), packed.begin() + 4, packed.end());
    return body;
}

}  // namespace office::ppt::binary
