#include "office/package/background.h"

#include "office/package/xml.h"

namespace office::package::detail {

void PendingPart::make() {
    try {
        if (tree) {
            deflated = deflateXml(*tree);
            return;
        }
        contents = maker->contents();
        if (deflate) {
            deflated = deflatePart(contents);
        }
    } catch (...) {
        error = std::current_exception();
    }
}

void post(Worker& worker, std::shared_ptr<PendingPart> part) {
    auto finished = std::make_shared<std::promise<void>>();
    part->done = finished->get_future();
    worker.post([part = std::move(part), finished]() mutable {
        part->make();
        // The caller is the last to hold the part once it is told it is done, so that what the
        // job made and owned goes on the caller's thread.
        part.reset();
        finished->set_value();
    });
}

}  // namespace office::package::detail
