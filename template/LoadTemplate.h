#pragma once

// Opening the template presentation for browsing and wrapping its slides and their
// embedded-object shapes into the slide table.

#include <memory>
#include <string>

#include "office/powerpoint.h"
#include "template/cls_PptSlide.h"

namespace tabulon {

// Opens the presentation at path in pptApp (creating the application when pptApp is none,
// reusing it otherwise), empties slideTable and refills it: one cls_PptSlide per slide in
// presentation order under its SlideID, each holding the shapes whose ShapeType is not "other"
// under their shape Id. Presentations opened earlier stay open. Nothing is caught: a failure
// ends the load where it happens, with the slides wrapped so far left in slideTable.
void LoadTemplate(std::shared_ptr<office::ppt::Application>& pptApp, SlideCollection& slideTable,
                  const std::string& path);

}  // namespace tabulon
