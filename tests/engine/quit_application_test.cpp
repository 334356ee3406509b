// Ending an office application: the one function that the run and the main window both use.

#include "engine/QuitApplication.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/office_error.h"

namespace {

namespace excel = office::excel;
namespace ppt = office::ppt;
using MDL_PptReport::OpenDocuments;
using MDL_PptReport::QuitApplication;
using office::ErrorCode;

std::string appFixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/app/" + name;
}

TEST(QuitApplication, ClosesEveryWorkbookThenQuitsAndDropsTheReference) {
    auto app = excel::Application::Create();
    const auto first = app->Workbooks()->Open(appFixture("first.xlsx"));
    const auto second = app->Workbooks()->Open(appFixture("second.xlsx"));
    const auto held = app;
    QuitApplication(app, OpenDocuments::Close);
    EXPECT_EQ(app, nullptr);
    EXPECT_FALSE(held->IsRunning());
    EXPECT_OFFICE_ERROR(first->Name(), ErrorCode::ObjectClosed, "");
    EXPECT_OFFICE_ERROR(second->Name(), ErrorCode::ObjectClosed, "");
}

TEST(QuitApplication, ClosesEveryPresentationThenQuitsAndDropsTheReference) {
    auto app = ppt::Application::Create();
    const auto first = app->Presentations()->Open(appFixture("template.pptx"));
    const auto second = app->Presentations()->Open(appFixture("no_slides.pptx"));
    const auto held = app;
    QuitApplication(app, OpenDocuments::Close);
    EXPECT_EQ(app, nullptr);
    EXPECT_FALSE(held->IsRunning());
    EXPECT_OFFICE_ERROR(first->FullName(), ErrorCode::ObjectClosed, "");
    EXPECT_OFFICE_ERROR(second->FullName(), ErrorCode::ObjectClosed, "");
}

// Without closing, the documents go with the application; the main window's shut-down.
TEST(QuitApplication, LeavingTheDocumentsQuitsAtOnce) {
    auto workbooks = excel::Application::Create();
    workbooks->Workbooks()->Open(appFixture("first.xlsx"));
    auto presentations = ppt::Application::Create();
    presentations->Presentations()->Open(appFixture("template.pptx"));
    const auto heldWorkbooks = workbooks;
    const auto heldPresentations = presentations;
    QuitApplication(workbooks, OpenDocuments::Leave);
    QuitApplication(presentations, OpenDocuments::Leave);
    EXPECT_EQ(workbooks, nullptr);
    EXPECT_EQ(presentations, nullptr);
    EXPECT_FALSE(heldWorkbooks->IsRunning());
    EXPECT_FALSE(heldPresentations->IsRunning());
}

TEST(QuitApplication, NoApplicationIsNothingToDo) {
    std::shared_ptr<excel::Application> workbooks;
    std::shared_ptr<ppt::Application> presentations;
    QuitApplication(workbooks, OpenDocuments::Close);
    QuitApplication(presentations, OpenDocuments::Leave);
    EXPECT_EQ(workbooks, nullptr);
    EXPECT_EQ(presentations, nullptr);
}

// An application that the user ended by hand no longer answers: the failure ends the step and
// the caller keeps its reference, as the Convert command and the shut-down need.
TEST(QuitApplication, AnApplicationEndedByHandFailsAndKeepsTheReference) {
    for (const auto documents : {OpenDocuments::Close, OpenDocuments::Leave}) {
        auto workbooks = excel::Application::Create();
        workbooks->Quit();
        EXPECT_OFFICE_ERROR(QuitApplication(workbooks, documents), ErrorCode::ObjectClosed, "");
        EXPECT_NE(workbooks, nullptr);

        auto presentations = ppt::Application::Create();
        presentations->Quit();
        EXPECT_OFFICE_ERROR(QuitApplication(presentations, documents), ErrorCode::ObjectClosed, "");
        EXPECT_NE(presentations, nullptr);
    }
}

}  // namespace
