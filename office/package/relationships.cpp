#include "office/package/package.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "office/package/package_impl.h"

namespace office::package {
namespace {

// Relationship types whose name in Strict packages differs beyond the base: transitional name,
// Strict name.
constexpr std::pair<std::string_view, std::string_view> kRenamedTypes[] = {
    {"extended-properties", "extendedProperties"},
    {"custom-properties", "customProperties"},
};

// The type as a Strict package names it: a type under the transitional base of the
// officeDocument relationships moves to the Strict base; the package's own types and Office's
// additions are the same in both flavours and stay.
std::string strictType(const std::string& type) {
    const std::string base = relationshipType("");
    if (!type.starts_with(base)) {
        return type;
    }
    std::string_view name = std::string_view(type).substr(base.size());
    for (const auto& [transitional, strict] : kRenamedTypes) {
        if (name == transitional) {
            name = strict;
        }
    }
    return relationshipType(name, true);
}

}  // namespace

bool isStrict(const Package& package) {
    const Relationships rels = package.relationships("");
    const Relationship* main = rels.findByType("/officeDocument");
    return main && main->type == relationshipType("officeDocument", true);
}

const Relationship* Relationships::find(std::string_view id) const {
    for (const auto& rel : items_) {
        if (rel.id == id) {
            return &rel;
        }
    }
    return nullptr;
}

const Relationship* Relationships::findByType(std::string_view typeSuffix) const {
    for (const auto& rel : items_) {
        if (rel.type.ends_with(typeSuffix)) {
            return &rel;
        }
    }
    return nullptr;
}

std::vector<const Relationship*> Relationships::allByType(std::string_view typeSuffix) const {
    std::vector<const Relationship*> found;
    for (const auto& rel : items_) {
        if (rel.type.ends_with(typeSuffix)) {
            found.push_back(&rel);
        }
    }
    return found;
}

std::string Relationships::add(std::string type, std::string target, bool external) {
    long highest = 0;
    for (const auto& rel : items_) {
        if (rel.id.starts_with("rId")) {
            highest = std::max(highest, std::strtol(rel.id.c_str() + 3, nullptr, 10));
        }
    }
    std::string id = "rId" + std::to_string(highest + 1);
    items_.push_back(Relationship{id, std::move(type), std::move(target), external});
    return id;
}

void Relationships::remove(std::string_view id) {
    std::erase_if(items_, [&](const Relationship& rel) { return rel.id == id; });
}

// Relationship parts are many and small, and a parsed tree costs far more than the text, so
// they are parsed when asked for and written back as text, never kept as trees.
// The parsed ones are kept for a while (relsCache): parsing is the dear part, a copy is cheap.
Relationships Package::relationships(std::string_view sourcePart) const {
    const std::string name = relsPartName(sourcePart);
    std::string key = asciiLower(name);
    if (const auto kept = impl_->relsCache.find(key); kept != impl_->relsCache.end()) {
        return kept->second;
    }
    Relationships rels;
    if (has(name)) {
        const pugi::xml_document doc = readXml(name);
        for (auto node :
             children(doc.document_element(), ns::kPackageRelationships, "Relationship")) {
            rels.items().push_back(
                Relationship{node.attribute("Id").value(), node.attribute("Type").value(),
                             node.attribute("Target").value(),
                             std::string_view(node.attribute("TargetMode").value()) == "External"});
        }
    }
    if (impl_->relsCache.size() >= Impl::kRelsKept) {
        impl_->relsCache.clear();
    }
    impl_->relsCache.emplace(std::move(key), rels);
    return rels;
}

void Package::setRelationships(std::string_view sourcePart, const Relationships& rels) {
    const std::string name = relsPartName(sourcePart);
    if (rels.empty()) {
        remove(name);
        return;
    }
    const bool fresh = !has(name);
    // A relationship the part already holds is written as it came in; one added to a Strict
    // package takes its flavour, whatever type the adding code named.
    const bool strict = isStrict(*this);
    const Relationships stored = strict ? relationships(sourcePart) : Relationships();
    auto typeToWrite = [&](const Relationship& rel) {
        const Relationship* before = stored.find(rel.id);
        return !strict || (before && before->type == rel.type) ? rel.type : strictType(rel.type);
    };
    pugi::xml_document doc;
    if (fresh) {
        auto decl = doc.append_child(pugi::node_declaration);
        decl.append_attribute("version") = "1.0";
        decl.append_attribute("encoding") = "UTF-8";
        decl.append_attribute("standalone") = "yes";
        doc.append_child("Relationships").append_attribute("xmlns") =
            std::string(ns::kPackageRelationships).c_str();
    } else {
        doc = readXml(name);
    }
    auto root = doc.document_element();
    root.remove_children();
    for (const auto& rel : rels.all()) {
        auto node = appendChild(root, ns::kPackageRelationships, "Relationship");
        setAttribute(node, "Id", rel.id);
        setAttribute(node, "Type", typeToWrite(rel));
        setAttribute(node, "Target", rel.target);
        if (rel.external) {
            setAttribute(node, "TargetMode", "External");
        }
    }
    write(name, toXml(doc));
    if (fresh) {
        ensureDefault("rels", "application/vnd.openxmlformats-package.relationships+xml");
    }
}

}  // namespace office::package
