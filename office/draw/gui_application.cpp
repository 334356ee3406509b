#include "office/draw/gui_application.h"

#include <QGuiApplication>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace office::draw {

namespace {

// Without XDG_RUNTIME_DIR, Qt makes "runtime-<user>" in the temporary folder and leaves it
// there. A process that starts its own offscreen application gets a private runtime folder
// instead, removed when the process ends (after the application, which is made later and so
// goes first).
class PrivateRuntimeFolder {
public:
    PrivateRuntimeFolder() {
        if (std::getenv("XDG_RUNTIME_DIR")) {
            return;
        }
        std::error_code error;
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / "tabulon-XXXXXX").string();
        if (error || !mkdtemp(pattern.data())) {
            return;
        }
        path_ = pattern;
        setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~PrivateRuntimeFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
            unsetenv("XDG_RUNTIME_DIR");
        }
    }
    PrivateRuntimeFolder(const PrivateRuntimeFolder&) = delete;
    PrivateRuntimeFolder& operator=(const PrivateRuntimeFolder&) = delete;

private:
    std::string path_;
};

}  // namespace

bool ensureGuiApplication() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        return true;
    }
    if (QCoreApplication::instance()) {
        return false;
    }
    static PrivateRuntimeFolder runtime;
    static int argc = 3;
    static char name[] = "tabulon";
    static char option[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    static QGuiApplication application(argc, argv);
    return true;
}

}  // namespace office::draw
