#include "engine/QuitApplication.h"

namespace MDL_PptReport {
namespace {

namespace excel = office::excel;
namespace ppt = office::ppt;

// Closing a document moves the later ones down, so the first one is closed each time; the
// count is read once, before the loop.
template <class Documents>
void closeEvery(const std::shared_ptr<Documents>& documents) {
    const int count = documents->Count();
    for (int i = 1; i <= count; ++i) {
        documents->Item(1)->Close();
    }
}

}  // namespace

void QuitApplication(std::shared_ptr<excel::Application>& app, OpenDocuments documents) {
    if (!app) {
        return;
    }
    if (documents == OpenDocuments::Close) {
        app->SetDisplayAlerts(false);
        closeEvery(app->Workbooks());
        app->SetDisplayAlerts(true);
    }
    app->Quit();
    app.reset();
}

void QuitApplication(std::shared_ptr<ppt::Application>& app, OpenDocuments documents) {
    if (!app) {
        return;
    }
    if (documents == OpenDocuments::Close) {
        app->SetDisplayAlerts(ppt::ppAlertsNone);
        closeEvery(app->Presentations());
        app->SetDisplayAlerts(ppt::ppAlertsAll);
    }
    app->Quit();
    app.reset();
}

}  // namespace MDL_PptReport
