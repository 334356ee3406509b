#pragma once

// OLEFormat.Object of a Graph chart object: the Graph chart is read and written as a native
// chart part at once, and the chart server of that part is handed out; its first Update puts
// the native chart in the object's frame (same position, size, name and id) and takes the
// object's parts out of the presentation: the embedding, its fallback picture and its legacy
// drawing shape, with their relationships and content types.

#include <memory>

#include "office/dispatch.h"
#include "office/ppt/object_site.h"

namespace office::graph::msgraph {

// True for a Graph chart object ("MSGraph.Chart.8" and the other versions).
bool isGraphObject(const office::detail::ObjectSite& site);

// Fails with NotSupported for a kind that has no native chart form and with CorruptPart for a
// record that cannot be read, naming slide, shape and reason; the presentation is left as it
// was.
std::shared_ptr<Dispatch> openGraphObject(const office::detail::ObjectSite& site);

// Puts a chart part into the frame of the OLE object at `site` and removes what only the
// object used. Fails with CorruptPart when the slide holds no such frame any more.
void replaceFrame(const office::detail::ObjectSite& site, const std::string& chartPart);

}  // namespace office::graph::msgraph
