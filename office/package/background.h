#pragma once

// Parts made on a second thread while the caller goes on.
//
// A run that fills hundreds of charts spends a third of its time turning what it is done with
// into bytes: serialising and deflating each chart part it let go of, and saving each embedded
// workbook. Nothing that comes after needs those bytes before the save, so one background
// thread of the package (office::Worker) makes them while the next chart is filled; the package
// takes them when it next needs the part (a read, a new write, the save) and keeps them as it kept
// them before. What a job works on belongs to the job alone, and the caller lets go of it only
// once the job is done, so that nothing is shared between the threads but the queue.

#include <exception>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include <pugixml.hpp>

#include "office/package/package.h"
#include "office/package/spool.h"
#include "office/worker.h"

namespace office::package::detail {

// The new contents of one part, made from what the job owns: a tree to serialise and deflate,
// or a maker (Package::Deferred) that nothing else reaches any more.
struct PendingPart {
    std::unique_ptr<pugi::xml_document> tree;
    std::shared_ptr<Package::Deferred> maker;
    bool deflate = false;  // the maker's bytes are deflated too, as the spool keeps them

    // Made by the job:
    std::optional<DeflatedPart> deflated;
    std::string contents;  // the maker's bytes
    std::exception_ptr error;
    // Ready once the job is done and the background thread let go of it.
    std::future<void> done;

    void make();
};

// Queues the making of the part on the worker; its `done` is set here, and made ready once the
// worker let go of the part.
void post(Worker& worker, std::shared_ptr<PendingPart> part);

}  // namespace office::package::detail
