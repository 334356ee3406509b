#include <gtest/gtest.h>

#include <memory>

#include "desktop.h"

namespace tabulon::testing {
namespace {

std::unique_ptr<ReportingApplication>& application() {
    static std::unique_ptr<ReportingApplication> instance;
    return instance;
}

// Ends the application after the last test rather than at exit, when the Qt libraries that it
// still refers to may already be torn down.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { application().reset(); }
};

// GoogleTest owns the registered environment.
[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace

void EnsureApplication() {
    if (QApplication::instance()) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    // The program's own application class, so failures escaping an event reach the report.
    application() = std::make_unique<ReportingApplication>(argc, argv);
}

}  // namespace tabulon::testing
