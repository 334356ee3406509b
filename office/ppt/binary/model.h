#pragma once

// The presentation objects of office/powerpoint.h over a .ppt: what Presentation, Slide, Tags,
// Shapes, Shape and OLEFormat do when their presentation is a binary document (impl->deck set)
// rather than a package. Each public method that depends on the format asks deck first and
// comes here; the callers above never know which of the two they hold.

#include <memory>
#include <optional>
#include <string>

#include "office/compound/compound_file.h"
#include "office/ppt/binary/deck.h"
#include "office/ppt/object_site.h"
#include "office/ppt/ppt_impl.h"

namespace office::ppt::detail {

// The compound file at path when it holds a PowerPoint 97-2003 presentation, whatever the
// file's name; nullopt when the file is no compound file or one that does not read (the
// package code then refuses it). Fails with NotADocument, naming the file, for a readable
// compound file that holds no "PowerPoint Document" stream nor an encrypted package.
std::optional<compound::File> binaryPresentationFile(const std::string& path);
std::shared_ptr<PresentationImpl> openBinaryPresentation(
    const std::shared_ptr<ApplicationImpl>& app, compound::File file, const std::string& fullName,
    bool readOnly);
// SaveAs to a .ppt path (".ppt" added to a path without an extension); another extension or a
// file format other than the presentation's own fails with InvalidArgument.
void saveBinaryAs(PresentationImpl& presentation, const std::string& path, int fileFormat);

// The slide's index in its deck, after checking that the presentation is still open.
std::size_t slideIndexOf(const SlideImpl& slide);
// Fails with ObjectClosed once the slide's presentation was closed, whatever its format.
void checkSlideOpen(const SlideImpl& slide);
// The shape's entry; IndexOutOfRange when it is no longer on the slide.
const binary::ShapeInfo& binaryShape(const ShapeImpl& shape);
std::string describeBinaryShape(const ShapeImpl& shape);
// The object the shape shows; TypeMismatch, naming slide and shape, for any other shape.
const binary::EmbeddedObject& binaryObject(const ShapeImpl& shape);
// Fails with NotSupported: the objects of a .ppt lie in its records, not in package parts.
[[noreturn]] void refuseBinaryObject(const ShapeImpl& shape);
// The object the shape shows, with its storage and the way to replace it in the deck. Fails
// with NotSupported for a linked object, and as binaryObject does.
office::detail::LegacyObjectSite legacySite(const ShapeImpl& shape);

}  // namespace office::ppt::detail
