#pragma once

// The OfficeArt drawing of a slide: its shapes, their names (property 0x0380 of the shape's
// OfficeArtFOPT) and the embedded objects they show; and the storage of an embedded object.

#include <string>
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
// The body of a compressed ExOleObjStg: u32 size, then a zlib stream. Fails with CorruptPart.
Bytes inflateStorage(const Bytes& body, const std::string& where);

}  // namespace office::ppt::binary
