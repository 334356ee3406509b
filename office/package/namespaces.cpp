#include "office/package/namespaces.h"

namespace office::package {

namespace {

constexpr std::string_view kStrictBase = "http://purl.oclc.org/ooxml/";

}  // namespace

Namespace namespaceId(std::string_view uri) {
    if (uri.empty()) {
        return Namespace::Unknown;
    }
    for (const NamespaceEntry& entry : kNamespaces) {
        if (entry.uri == uri || (!entry.strict.empty() && entry.strict == uri)) {
            return entry.id;
        }
    }
    return Namespace::Unknown;
}

bool isStrictUri(std::string_view uri) {
    return uri.starts_with(kStrictBase) && namespaceId(uri) != Namespace::Unknown;
}

bool sameNamespace(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    // Twins differ in their start: a Strict URI against a transitional one.
    if (a.starts_with(kStrictBase) == b.starts_with(kStrictBase)) {
        return false;
    }
    const Namespace id = namespaceId(a);
    return id != Namespace::Unknown && id == namespaceId(b);
}

std::string_view uriOf(Namespace id, bool strict) {
    const NamespaceEntry& entry = entryOf(id);
    return strict && !entry.strict.empty() ? entry.strict : entry.uri;
}

std::string_view uriLike(std::string_view uri, std::string_view like) {
    const Namespace id = namespaceId(uri);
    if (id == Namespace::Unknown) {
        return uri;
    }
    return uriOf(id, isStrictUri(like));
}

std::string_view usualPrefix(std::string_view uri) {
    return entryOf(namespaceId(uri)).prefix;
}

std::string relationshipType(std::string_view name, bool strict) {
    return std::string(uriOf(Namespace::Relationships, strict)) + "/" + std::string(name);
}

std::string relationshipType(Namespace base, std::string_view name) {
    return std::string(entryOf(base).uri) + "/" + std::string(name);
}

}  // namespace office::package
