#include "office/package/package.h"

#include <string>
#include <unordered_map>

#include "office/package/package_impl.h"

namespace office::package {
namespace {

// Defaults come before Overrides.
constexpr std::string_view kTypesOrder[] = {"Default", "Override"};

}  // namespace

std::string Package::contentType(std::string_view part) const {
    auto& types = const_cast<Package*>(this)->xml(kContentTypesPart);
    if (!impl_->overrides) {
        // Looked up for every part that is read, so the Overrides are indexed once.
        auto& index = impl_->overrides.emplace();
        for (auto over : children(types.document_element(), ns::kContentTypes, "Override")) {
            std::string name = asciiLower(over.attribute("PartName").value());
            if (name.starts_with('/')) {
                name.erase(0, 1);
            }
            index.emplace(std::move(name), over.attribute("ContentType").value());
        }
    }
    if (auto it = impl_->overrides->find(asciiLower(part)); it != impl_->overrides->end()) {
        return it->second;
    }
    const std::string extension = extensionOf(part);
    for (auto def : children(types.document_element(), ns::kContentTypes, "Default")) {
        if (asciiLower(def.attribute("Extension").value()) == extension) {
            return def.attribute("ContentType").value();
        }
    }
    return {};
}

void Package::setContentType(std::string_view part, std::string_view type) {
    auto& types = xml(kContentTypesPart);
    auto root = types.document_element();
    std::string wanted = asciiLower(part);
    wanted.insert(wanted.begin(), '/');
    for (auto over : children(root, ns::kContentTypes, "Override")) {
        if (asciiLower(over.attribute("PartName").value()) == wanted) {
            over.attribute("ContentType").set_value(std::string(type).c_str());
            markDirty(kContentTypesPart);
            return;
        }
    }
    const std::string extension = extensionOf(part);
    for (auto def : children(root, ns::kContentTypes, "Default")) {
        if (asciiLower(def.attribute("Extension").value()) == extension &&
            def.attribute("ContentType").value() == type) {
            return;  // the Default already says so
        }
    }
    auto over = insertInOrder(root, ns::kContentTypes, "Override", kTypesOrder);
    // Built by appending: GCC 12 warns of an overlapping copy (falsely) in "/" + std::string.
    std::string partName = "/";
    partName += part;
    setAttribute(over, "PartName", partName);
    setAttribute(over, "ContentType", type);
    markDirty(kContentTypesPart);
}

void Package::ensureDefault(std::string_view extension, std::string_view type) {
    auto& types = xml(kContentTypesPart);
    auto root = types.document_element();
    for (auto def : children(root, ns::kContentTypes, "Default")) {
        if (asciiLower(def.attribute("Extension").value()) == asciiLower(extension)) {
            return;
        }
    }
    auto def = insertInOrder(root, ns::kContentTypes, "Default", kTypesOrder);
    setAttribute(def, "Extension", extension);
    setAttribute(def, "ContentType", type);
    markDirty(kContentTypesPart);
}

}  // namespace office::package
