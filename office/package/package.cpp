#include "office/package/package.h"

#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "office/package/package_impl.h"

namespace office::package {
namespace {

bool isDeclaration(const pugi::xml_attribute& attribute) {
    const std::string_view name = attribute.name();
    return name == "xmlns" || name.starts_with("xmlns:");
}

// Calls change for every namespace declaration of the tree whose namespace has a Strict twin
// that it does not name yet, with that twin; true when there was one.
template <class Change>
bool forTransitionalDeclarations(pugi::xml_node node, Change change) {
    bool found = false;
    for (pugi::xml_node element = node.first_child(); element; element = element.next_sibling()) {
        if (element.type() != pugi::node_element) {
            continue;
        }
        for (pugi::xml_attribute attribute : element.attributes()) {
            if (!isDeclaration(attribute)) {
                continue;
            }
            const std::string_view uri = attribute.value();
            const std::string_view twin = uriOf(namespaceId(uri), true);
            if (!uri.empty() && twin != uri) {
                change(attribute, twin);
                found = true;
            }
        }
        found = forTransitionalDeclarations(element, change) || found;
    }
    return found;
}

}  // namespace

[[noreturn]] void fail(ErrorCode code, std::string_view file, const std::string& problem) {
    throw Error(code, std::string(file) + ": " + problem);
}

Package::Package(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Package::Package(Package&&) noexcept = default;
Package& Package::operator=(Package&&) noexcept = default;
Package::~Package() = default;

const std::string& Package::displayName() const noexcept {
    return impl_->displayName;
}

bool Package::has(std::string_view part) const {
    return impl_->entry(part) != nullptr;
}

std::string Package::read(std::string_view part) const {
    const Entry* e = impl_->entry(part);
    if (!e) {
        fail(ErrorCode::CorruptPart, impl_->displayName,
             std::string(part) + ": the part does not exist");
    }
    auto cached = impl_->xmlCache.find(asciiLower(part));
    if (cached != impl_->xmlCache.end() && cached->second.dirty) {
        return toXml(*cached->second.doc);
    }
    if (e->deferred || e->pending) {
        // Read once made: the model may go on changing, the part's bytes may not.
        Entry& waiting = *impl_->entry(part);
        impl_->settle(waiting);
    }
    return impl_->readEntry(*e);
}

pugi::xml_document Package::readXml(std::string_view part) const {
    return parseXml(read(part), impl_->displayName, part, impl_->textEscape);
}

void Package::setTextEscape(TextEscape escape) noexcept {
    impl_->textEscape = escape;
}

pugi::xml_document& Package::xml(std::string_view part) {
    const std::string key = asciiLower(part);
    auto it = impl_->xmlCache.find(key);
    if (it != impl_->xmlCache.end()) {
        impl_->stopWaiting(key);
        return *it->second.doc;
    }
    auto doc = std::make_unique<pugi::xml_document>(readXml(part));
    auto& slot = impl_->xmlCache[key];
    slot.doc = std::move(doc);
    return *slot.doc;
}

void Package::markDirty(std::string_view part) {
    const std::string key = asciiLower(part);
    if (key == asciiLower(kContentTypesPart)) {
        impl_->overrides.reset();
    }
    impl_->contentsChanged(key);
    auto it = impl_->xmlCache.find(key);
    if (it == impl_->xmlCache.end()) {
        return;
    }
    it->second.dirty = true;
    if (Entry* e = impl_->entry(part)) {
        e->forgetContents();  // the tree is now the part's contents
    }
}

void Package::Impl::dropTree(const std::string& key) {
    auto it = xmlCache.find(key);
    if (it == xmlCache.end()) {
        return;
    }
    std::unique_ptr<pugi::xml_document> tree = std::move(it->second.doc);
    const bool dirty = it->second.dirty;
    xmlCache.erase(it);
    Entry* e = dirty ? entry(key) : nullptr;
    if (!e) {
        return;
    }
    ensureSpool();
    if (!spool || isCompressedFormat(e->name) || !startBackground()) {
        keepXml(*e, *tree);
        return;
    }
    // Serialised and deflated in the background, into the spool as keepXml would put it.
    auto job = std::make_shared<detail::PendingPart>();
    job->tree = std::move(tree);
    pack(*e, std::move(job));
}

void Package::Impl::settleLater(Entry& e) {
    if (!e.deferred || !e.deferred->independent() || !startBackground()) {
        settle(e);
        return;
    }
    ensureSpool();
    auto job = std::make_shared<detail::PendingPart>();
    job->maker = std::move(e.deferred);
    job->deflate = spool && !isCompressedFormat(e.name);
    pack(e, std::move(job));
}

bool Package::Impl::startBackground() {
    if (!background) {
        try {
            background = std::make_unique<Worker>();
        } catch (const std::system_error&) {
            return false;
        }
    }
    return true;
}

void Package::Impl::pack(Entry& e, std::shared_ptr<detail::PendingPart> job) {
    e.forgetContents();
    e.pending = job;
    detail::post(*background, std::move(job));
    if (auto oldest = joinLine(packing, asciiLower(e.name), kPackingKept)) {
        if (Entry* waiting = entry(*oldest)) {
            collect(*waiting);
        }
    }
}

void Package::Impl::collect(Entry& e) {
    if (!e.pending) {
        return;
    }
    std::shared_ptr<detail::PendingPart> job = std::move(e.pending);
    job->done.wait();
    if (job->error && !job->tree) {
        e.deferred = std::move(job->maker);  // as it was: a later read or save fails the same
        std::rethrow_exception(job->error);
    }
    // A tree whose deflating failed is kept as keepXml keeps one it cannot deflate.
    if (!job->error && job->deflated && spool) {
        if (auto record = spool->append(*job->deflated)) {
            e.forgetContents();
            e.spooled = record;
            return;
        }
    }
    if (job->tree) {
        keep(e, toXml(*job->tree));
    } else {
        keep(e, std::move(job->contents));
    }
}

void Package::release(std::string_view part) {
    const std::string key = asciiLower(part);
    if (!impl_->xmlCache.contains(key)) {
        return;
    }
    if (auto oldest = Impl::joinLine(impl_->released, key, Impl::kReleasedKept)) {
        impl_->dropTree(*oldest);
    }
}

Entry& Package::Impl::writable(std::string_view part) {
    std::string name(part);
    if (name.starts_with('/')) {
        name.erase(0, 1);
    }
    const std::string key = asciiLower(name);
    xmlCache.erase(key);
    stopWaiting(key);
    contentsChanged(key);
    if (key == asciiLower(kContentTypesPart)) {
        overrides.reset();
    }
    if (auto it = byName.find(key); it != byName.end()) {
        Entry& e = entries[it->second];
        e.removed = false;
        return e;
    }
    byName.emplace(key, entries.size());
    Entry& added = entries.emplace_back();
    added.name = std::move(name);
    return added;
}

void Package::write(std::string_view part, std::string bytes) {
    impl_->keep(impl_->writable(part), std::move(bytes));
}

void Package::writeDeferred(std::string_view part, std::shared_ptr<Deferred> maker) {
    Entry& e = impl_->writable(part);
    e.forgetContents();
    e.deferred = std::move(maker);
    if (auto oldest =
            Impl::joinLine(impl_->deferredParts, asciiLower(e.name), Impl::kDeferredKept)) {
        if (Entry* waiting = impl_->entry(*oldest)) {
            impl_->settleLater(*waiting);
        }
    }
}

std::shared_ptr<Package::Deferred> Package::deferred(std::string_view part) const {
    const Entry* e = impl_->entry(part);
    return e ? e->deferred : nullptr;
}

void Package::writeXml(std::string_view part, const pugi::xml_document& doc) {
    // A part written whole into a Strict package declares the Strict twins of the namespaces
    // its writer named, so that the package stays in one flavour.
    const auto none = [](pugi::xml_attribute, std::string_view) {};
    if (!isStrict(*this) || !forTransitionalDeclarations(doc, none)) {
        write(part, toXml(doc));
        return;
    }
    pugi::xml_document strict;
    strict.reset(doc);
    forTransitionalDeclarations(strict, [](pugi::xml_attribute attribute, std::string_view twin) {
        attribute.set_value(std::string(twin).c_str());
    });
    write(part, toXml(strict));
}

void Package::remove(std::string_view part) {
    Entry* e = impl_->entry(part);
    if (!e) {
        return;
    }
    e->removed = true;
    e->forgetContents();
    std::string wanted = asciiLower(part);
    impl_->xmlCache.erase(wanted);
    impl_->stopWaiting(wanted);
    impl_->contentsChanged(wanted);
    wanted.insert(wanted.begin(), '/');
    auto& types = xml(kContentTypesPart);
    for (auto over : children(types.document_element(), ns::kContentTypes, "Override")) {
        if (asciiLower(over.attribute("PartName").value()) == wanted) {
            types.document_element().remove_child(over);
            markDirty(kContentTypesPart);
            break;
        }
    }
}

std::vector<std::string> Package::partNames() const {
    std::vector<std::string> names;
    for (const auto& e : impl_->entries) {
        if (!e.removed) {
            names.push_back(e.name);
        }
    }
    return names;
}

bool Package::changed(std::string_view part) const {
    auto it = impl_->byName.find(asciiLower(part));
    if (it == impl_->byName.end()) {
        return false;
    }
    const Entry& e = impl_->entries[it->second];
    if (e.removed || e.fresh() || e.index < 0) {
        return true;
    }
    auto cached = impl_->xmlCache.find(asciiLower(part));
    return cached != impl_->xmlCache.end() && cached->second.dirty;
}

std::string Package::freePartName(std::string_view pattern) const {
    const auto hash = pattern.find('#');
    for (int n = 1;; ++n) {
        std::string candidate(pattern);
        if (hash != std::string_view::npos) {
            candidate.replace(hash, 1, std::to_string(n));
        }
        if (!has(candidate)) {
            return candidate;
        }
    }
}

}  // namespace office::package
