#pragma once

// The OfficeArt drawing of a slide: its shapes, their names (property 0x0380 of the shape's
// OfficeArtFOPT) and the embedded objects they show; and the storage of an embedded object.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "office/ppt/binary/deck.h"
#include "office/ppt/binary/records.h"

namespace office::ppt::binary {

// The top-level shapes of a DrawingContainer in stacking order, groups holding their members.
// The group that holds the drawing and the background shape are not listed. Shapes without a
// stored name get one unique on the slide: their kind and their id ("Object 2052").
std::vector<ShapeInfo> readShapes(const Record& drawing);
// The shape of that id, members of groups included; null when there is none.
const ShapeInfo* findShape(const std::vector<ShapeInfo>& shapes, int id);
// Stores the name in the shape's OfficeArtFOPT (made when the shape has none), as renaming it
// in PowerPoint does. Fails with NotSupported, naming `where`, for properties that do not parse.
void storeName(Record& drawing, const ShapeInfo& shape, const std::string& name,
               const std::string& where);
// Stores `name` in the shape that carries it as a given name; does nothing when no such shape.
void storeGivenName(Record& slide, const std::vector<ShapeInfo>& shapes, const std::string& name,
                    const std::string& where);
// The shape's size in EMU: its client anchor (master units, 576 an inch) or, for a member of a
// group, its child anchor mapped through every group that holds it. Fails with CorruptPart,
// naming `where`, for a shape without an anchor or a group whose coordinates are empty.
std::pair<std::int64_t, std::int64_t> shapeSize(const Record& drawing, const ShapeInfo& shape,
                                                const std::string& where);
// Makes the shape show the blip of that 1-based index of the blip store (property 0x0104).
// Fails with NotSupported, naming `where`, for properties that do not parse.
void setPicture(Record& drawing, const ShapeInfo& shape, std::uint32_t blip,
                const std::string& where);
// The body of a compressed ExOleObjStg: u32 size, then a zlib stream. Fails with CorruptPart,
// naming `where`, when it does not inflate to that size or claims more than a zlib stream of its
// length can hold.
Bytes inflateStorage(const Bytes& body, const std::string& where);
// The body of a compressed ExOleObjStg that holds the storage.
Bytes deflateStorage(const Bytes& storage);

}  // namespace office::ppt::binary
