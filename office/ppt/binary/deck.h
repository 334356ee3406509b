#pragma once

// A PowerPoint 97-2003 presentation (.ppt) read from its compound file: the current state that
// the chain of edits gives (Current User -> UserEditAtom -> persist directories, the newest
// entry of a persist id winning), the slides in presentation order with their ids, names, tags
// and shapes, and the embedded objects the shapes show. Edits change the slide containers in
// memory; save appends them to the document stream as PowerPoint's fast save does, and keeps
// every other stream, storage and class id byte for byte.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "office/compound/compound_file.h"
#include "office/ppt/binary/records.h"
#include "office/worker.h"

namespace office::ppt::binary {

// What a shape of a slide is, read from its OfficeArt shape container.
struct ShapeInfo {
    int id = 0;                             // OfficeArtFSP.spid, unique within the drawing
    std::string name;                       // the stored name, or the one given to an unnamed shape
    bool nameStored = false;                // the file holds the name (property 0x0380)
    std::optional<std::uint32_t> objectId;  // exObjId of the embedded object it shows
    bool group = false;
    std::uint16_t shapeType = 0;     // the FSP's instance: 75 a picture frame, 202 a text box...
    std::vector<std::size_t> path;   // child indexes from the DrawingContainer to the container
    std::vector<ShapeInfo> members;  // of a group, in order
};

// An embedded object of the document's object list.
struct EmbeddedObject {
    std::uint32_t objectId = 0;    // exObjId, as ExObjRefAtom names it
    std::string progId;            // "MSGraph.Chart.8", "Excel.Sheet.8", ...; where the file
                                   // names none, as its storage says (storageProgId)
    std::string menuName;          // "Chart", "Worksheet", ...
    std::uint32_t storageRef = 0;  // persist id of its ExOleObjStg
    bool linked = false;           // linked to an outside file rather than embedded
};

struct Tag {
    std::string name;
    std::string value;
};

class Deck {
public:
    // Reads the presentation of a compound file that holds a "PowerPoint Document" stream.
    // Fails with office::Error naming the file: Encrypted for a password-protected one,
    // LegacyFormat for PowerPoint 95 and older, CorruptPart (with the stream and offset) for a
    // damaged record, an edit chain that loops or a persist id that points outside the stream.
    static std::shared_ptr<Deck> open(compound::File file);
    // True when the compound file holds a "PowerPoint Document" stream: a .ppt by content.
    static bool holdsPresentation(const compound::File& file);

    const std::string& displayName() const;
    bool isOpen() const { return open_; }
    void close() { open_ = false; }
    // Fails with ObjectClosed once closed.
    void checkOpen() const;

    std::size_t slideCount() const { return slides_.size(); }
    // Slides count from 0 here; the object model adds 1.
    int slideId(std::size_t slide) const;
    // The stored name; empty when the slide has none.
    std::string slideName(std::size_t slide) const;
    void setSlideName(std::size_t slide, const std::string& name);
    // The string tags of the slide, in order; binary tags are not listed and stay as they are.
    std::vector<Tag> tags(std::size_t slide) const;
    // Adds the tag, stored upper-case, or replaces the value of the tag of that name (case
    // ignored). The "NAME" tag names the shape that receives data: when it names a shape whose
    // name is not stored, the name is stored in the shape so that the tag keeps finding it.
    void addTag(std::size_t slide, const std::string& name, const std::string& value);
    void deleteTag(std::size_t slide, const std::string& name);
    // The top-level shapes in stacking order (back to front); a group holds its members.
    const std::vector<ShapeInfo>& shapes(std::size_t slide) const;
    // Stores the name in the shape's properties. Fails with IndexOutOfRange for no such shape.
    void setShapeName(std::size_t slide, int shapeId, const std::string& name);
    // The embedded object with that exObjId; null when the document lists none.
    const EmbeddedObject* object(std::uint32_t objectId) const;
    // The object's storage as a compound file (decompressed when stored compressed), as the
    // last replaceObject gave it. Fails with CorruptPart, its text starting with `where` when
    // given, for a storage that is missing or does not inflate.
    Bytes objectStorage(std::uint32_t objectId, const std::string& where = {}) const;
    // The shape's size in EMU. Fails with IndexOutOfRange for no such shape, CorruptPart for a
    // shape without an anchor.
    std::pair<std::int64_t, std::int64_t> shapeSize(std::size_t slide, int shapeId) const;
    // Draws the picture of a filled object: a PNG file. It must touch nothing shared, since it
    // may run on another thread.
    using PictureMaker = std::function<std::string()>;
    // Keeps for the next save the new storage (a compound file) of the object that the shape
    // shows, and its picture, which the shape shows from now on: the storage as a new
    // compressed version of the object's ExOleObjStg, the picture appended to the "Pictures"
    // stream and entered in the blip store. Earlier pictures stay in the file. The picture is
    // drawn once it is final: on a thread of the deck once another object is replaced, or at
    // the save; one that the same shape replaces first is never drawn. Fails, naming slide and
    // shape and changing nothing: IndexOutOfRange for no such shape, TypeMismatch for a shape
    // without an embedded object, InvalidArgument for a storage that is no compound file,
    // CorruptPart for a blip store that does not add up, NotSupported for a full one.
    void replaceObject(std::size_t slide, int shapeId, const Bytes& storage, PictureMaker picture);
    // As above, with the picture drawn already; fails with InvalidArgument, changing nothing,
    // for one that is no PNG.
    void replaceObject(std::size_t slide, int shapeId, const Bytes& storage,
                       std::span<const std::uint8_t> png);
    // "deck.ppt: slide 2, shape \"Chart 3\"": the prefix of errors about a shape.
    std::string where(std::size_t slide, const ShapeInfo& shape) const;
    // "deck.ppt: slide 2": the prefix of errors about a slide.
    std::string where(std::size_t slide) const;

    // Writes the presentation with the changes appended as a new edit, atomically, to path.
    // Fails as a picture maker does, or with InvalidArgument, naming slide and shape, for a
    // picture that is no PNG; nothing is written then.
    void save(const std::string& path);
    // The number of edits in the chain, newest first walked back to the first.
    std::size_t editCount() const { return editCount_; }

private:
    struct Drawing;  // one drawing of a picture, by whichever thread takes it first
    // The picture of an object replaced since the last save, with the blip index the shape
    // shows; `drawing` is set once its drawing was asked for.
    struct PendingPicture {
        std::size_t slide = 0;
        int shapeId = 0;
        std::uint32_t blip = 0;
        std::string subject;
        PictureMaker draw;
        std::shared_ptr<Drawing> drawing;
    };

    struct Slide {
        std::uint32_t persistId = 0;
        int slideId = 0;
        Record container;
        std::vector<ShapeInfo> shapes;
        bool changed = false;
    };

    explicit Deck(compound::File file);
    void readCurrentUser();
    void readEditChain();
    void readDocument();
    void nameObjectsByStorage();
    void readSlide(std::uint32_t persistId, int slideId);
    Record persistObject(std::uint32_t persistId, std::uint16_t type) const;
    const ShapeInfo& shapeAt(std::size_t slide, int shapeId) const;
    const Bytes& pictures();
    void startDrawing(PendingPicture& picture, bool inBackground);
    void addPendingPictures();
    void appendPersistObjects(Bytes& stream, std::map<std::uint32_t, std::uint32_t>& written);
    std::string streamWhere() const;
    void refreshShapes(Slide& slide);
    Slide& slideAt(std::size_t slide);
    const Slide& slideAt(std::size_t slide) const;

    compound::File file_;
    bool open_ = true;
    Bytes currentUser_;
    Bytes stream_;  // "PowerPoint Document"
    std::uint32_t currentEdit_ = 0;
    std::size_t editCount_ = 0;
    std::uint32_t documentRef_ = 0;
    std::map<std::uint32_t, std::uint32_t> persist_;  // persist id -> stream offset
    std::map<std::uint32_t, EmbeddedObject> objects_;
    std::vector<Slide> slides_;
    Record document_;  // the DocumentContainer, as the next save writes it
    bool documentChanged_ = false;
    std::optional<Bytes> pictures_;  // the "Pictures" stream, read when first needed
    bool picturesChanged_ = false;
    std::map<std::uint32_t, Record> storages_;     // persist id -> ExOleObjStg the next save writes
    std::vector<PendingPicture> pendingPictures_;  // in the order of their blip indexes
    std::unique_ptr<Worker> drawer_;               // draws them; made on first use
};

}  // namespace office::ppt::binary
