#pragma once

// The one way in which the program ends an office application: the conversion run ends its own
// pair with it, and the main window its browsing pair at Convert and when it is closed.

#include <memory>

#include "office/excel.h"
#include "office/powerpoint.h"

namespace MDL_PptReport {

// What ending an application does with the documents still open in it.
enum class OpenDocuments {
    // Closed one at a time, without saving, before the application is told to quit; the
    // application's alerts are off while they close and on when it quits.
    Close,
    // Left as they are: the application is told to quit at once and drops them itself.
    Leave,
};

// Ends the application that app holds and sets app to none; does nothing when app holds none.
// The first failing step (an application or document already closed by hand fails with
// ObjectClosed) ends it there: what was closed stays closed and app keeps its reference.
void QuitApplication(std::shared_ptr<office::excel::Application>& app, OpenDocuments documents);
void QuitApplication(std::shared_ptr<office::ppt::Application>& app, OpenDocuments documents);

}  // namespace MDL_PptReport
