#pragma once

// An Office Open XML package: a zip archive of parts with content types and relationships.
// Parts are read from the archive when first asked for; at save, every part that nobody wrote
// is copied over as it came in (compressed bytes included), so a round trip without changes
// gives byte-identical parts.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "office/package/xml.h"

namespace office::package {

// Part names are written without a leading slash: "ppt/slides/slide1.xml".

struct Relationship {
    std::string id;
    std::string type;    // the full relationship type URI
    std::string target;  // as written in the .rels part
    bool external = false;
};

// The relationships of one source part (or of the package, for the source part "").
class Relationships {
public:
    const std::vector<Relationship>& all() const noexcept { return items_; }
    const Relationship* find(std::string_view id) const;
    // The first relationship whose type ends with typeSuffix ("/slide", "/chart", ...).
    const Relationship* findByType(std::string_view typeSuffix) const;
    std::vector<const Relationship*> allByType(std::string_view typeSuffix) const;
    // Adds a relationship with a fresh id ("rIdN" with N one above the highest in use) and
    // returns the id.
    std::string add(std::string type, std::string target, bool external = false);
    void remove(std::string_view id);
    bool empty() const noexcept { return items_.empty(); }

    std::vector<Relationship>& items() noexcept { return items_; }

private:
    std::vector<Relationship> items_;
};

// The name of the .rels part of a source part: "ppt/slides/_rels/slide1.xml.rels", and
// "_rels/.rels" for the package ("").
std::string relsPartName(std::string_view sourcePart);
// Resolves a relationship target against its source part: ("ppt/slides/slide1.xml",
// "../charts/chart1.xml") gives "ppt/charts/chart1.xml"; an absolute target "/ppt/x.xml" gives
// "ppt/x.xml".
std::string resolveTarget(std::string_view sourcePart, std::string_view target);
// The target to write in a relationship of sourcePart that points at partName.
std::string relativeTarget(std::string_view sourcePart, std::string_view partName);

class Package {
public:
    // The sanity limits a package is held to while opening: more would be a zip bomb.
    static constexpr std::uint64_t kMaxTotalUncompressed = 2ull << 30;   // 2 GiB
    static constexpr std::uint64_t kMaxPartUncompressed = 512ull << 20;  // 512 MiB
    static constexpr std::uint64_t kMaxEntries = 100000;

    // Opens the package at path. `kind` ("workbook", "presentation") is used in messages.
    // Fails with FileNotFound, FileAccess (a folder, unreadable), NotADocument (empty, not a
    // zip, no [Content_Types].xml), LegacyFormat (a compound file that is not an encrypted
    // package), Encrypted, TooLarge, CorruptPart.
    static Package openFile(const std::string& path, std::string_view kind);
    // Reads a compound file that a kind of document has a reader of its own for (the legacy
    // binary format): takes the whole file and returns true when it read it, false when the file
    // is none it knows.
    using LegacyReader = std::function<bool(std::vector<std::uint8_t>&& file)>;
    // As openFile, the file opened and read once whatever it is: a compound file goes whole to
    // `legacy`, and nullopt says that `legacy` read it; one that `legacy` declines fails as
    // openFile says.
    static std::optional<Package> openFile(const std::string& path, std::string_view kind,
                                           const LegacyReader& legacy);
    // Opens a package held in memory (an embedded workbook); displayName is used in messages.
    static Package openBytes(std::vector<std::uint8_t> bytes, std::string displayName,
                             std::string_view kind);

    Package(Package&&) noexcept;
    Package& operator=(Package&&) noexcept;
    ~Package();

    // The name used in error texts: the file name, or the display name given to openBytes.
    const std::string& displayName() const noexcept;

    bool has(std::string_view part) const;
    // The part's bytes. Fails with CorruptPart when the part does not exist or cannot be read.
    std::string read(std::string_view part) const;
    // read() and parseXml() in one, with the package's text escape.
    pugi::xml_document readXml(std::string_view part) const;
    // How the parts that readXml() and xml() parse from now on keep a character that XML cannot
    // hold where a character reference named one (dropped unless a format's escape is set).
    void setTextEscape(TextEscape escape) noexcept;
    // Replaces or adds a part. The content type is not touched: see setContentType.
    void write(std::string_view part, std::string bytes);
    // Contents made when they are needed: the model a part is being edited in (an embedded
    // workbook) stands for the part's bytes until the package is saved, the part is read, or
    // more than a few such parts wait; then its contents() are taken once and kept as write()
    // keeps bytes.
    class Deferred {
    public:
        virtual ~Deferred() = default;
        // The part's bytes as the model holds them now; fails as the model's own save does.
        virtual std::string contents() = 0;
        // True when nothing but this maker reaches the model, so that its contents may be made
        // on another thread while the caller goes on; the maker must then touch nothing that
        // is shared.
        virtual bool independent() const { return false; }
    };
    // As write(), with the bytes to be made by `maker` later (see Deferred).
    void writeDeferred(std::string_view part, std::shared_ptr<Deferred> maker);
    // The maker of the part's contents while it still waits; null otherwise.
    std::shared_ptr<Deferred> deferred(std::string_view part) const;
    void writeXml(std::string_view part, const pugi::xml_document& doc);
    // The parsed XML of a part, parsed on first use and shared by every user of the package, so
    // that the slide code, the chart server and the tag code edit one tree. Call markDirty after
    // an edit: at save, dirty trees are serialised; the others go out as they came in. Fails as
    // readXml does. write() and remove() drop the cached tree of that part.
    pugi::xml_document& xml(std::string_view part);
    void markDirty(std::string_view part);
    // Lets go of the parsed tree of a part that its user is done with, to keep memory low while
    // many parts are edited one after the other: a dirty tree is serialised into the part's
    // contents first, so nothing is lost; the next xml() parses the part again.
    void release(std::string_view part);
    // Removes a part and its content-type override (not its relationships).
    void remove(std::string_view part);
    std::vector<std::string> partNames() const;
    // True when the part was written or removed since the package was opened.
    bool changed(std::string_view part) const;

    // The content type of a part: its Override, else the Default of its extension; empty when
    // it has neither.
    std::string contentType(std::string_view part) const;
    // Sets an Override for the part (or removes a redundant one that equals the Default).
    void setContentType(std::string_view part, std::string_view type);
    // Adds a Default for an extension when there is none ("png", "image/png").
    void ensureDefault(std::string_view extension, std::string_view type);

    // The relationships of a part ("" for the package); empty when it has no .rels part.
    Relationships relationships(std::string_view sourcePart) const;
    // Writes the .rels part of the source part (removes it when rels is empty).
    void setRelationships(std::string_view sourcePart, const Relationships& rels);

    // A part name not yet in use, from a pattern with one "#": "ppt/tags/tag#.xml" gives the
    // first of tag1.xml, tag2.xml, ... that does not exist.
    std::string freePartName(std::string_view pattern) const;

    // Writes the package to path atomically: a temporary file beside it, then a rename. On
    // failure the earlier file is intact, no temporary is left, and WriteFailed is raised.
    void saveFile(const std::string& path) const;
    std::vector<std::uint8_t> saveBytes() const;

    struct Impl;  // internal

private:
    explicit Package(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace office::package
