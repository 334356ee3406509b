#include "office/ppt/object_site.h"

#include "office/error.h"

namespace office::detail {

void OpenDocument::checkOpen() const {
    if (open) {
        return;
    }
    throw Error(ErrorCode::ObjectClosed,
                package.displayName() + ": object closed: the document was closed");
}

std::string ObjectSite::where() const {
    std::string text = document ? document->package.displayName() : std::string("(no document)");
    text += ": slide " + std::to_string(slideIndex) + ", shape \"" + shapeName + "\"";
    return text;
}

}  // namespace office::detail
