#pragma once

#include <memory>
#include <string>

#include "office/powerpoint.h"

namespace tabulon::testing {

inline std::string AppFixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/app/" + name;
}

// A presentation application with one fixture presentation open.
struct OpenTemplate {
    explicit OpenTemplate(const std::string& name)
        : app(office::ppt::Application::Create()),
          presentation(app->Presentations()->Open(AppFixture(name))) {}
    ~OpenTemplate() {
        if (app->IsRunning()) {
            app->Quit();
        }
    }

    std::shared_ptr<office::ppt::Shape> ShapeNamed(int slide, const std::string& name) {
        const auto shapes = presentation->Slides()->Item(slide)->Shapes();
        for (int i = 1; i <= shapes->Count(); ++i) {
            if (shapes->Item(i)->Name() == name) {
                return shapes->Item(i);
            }
        }
        return nullptr;
    }

    std::shared_ptr<office::ppt::Application> app;
    std::shared_ptr<office::ppt::Presentation> presentation;
};

}  // namespace tabulon::testing
