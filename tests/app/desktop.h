#pragma once

// What the window's tests need around it: one QApplication for the test program, and a
// scripted desktop whose file dialogs answer from a list and whose message boxes are recorded.

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>
#include <deque>
#include <string>
#include <vector>

#include "app/FailureReport.h"
#include "platform/seams.h"

namespace tabulon::testing {

// Makes the test program's application on first use; it is destroyed after the last test,
// while Qt's own globals are still alive.
void EnsureApplication();

// Makes sure of the QApplication before any widget of a test fixture is made.
struct Application {
    Application() { EnsureApplication(); }
};

inline std::string AppFixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/app/" + name;
}

class ScriptedDesktop {
public:
    ScriptedDesktop() : scope_(scripted()) {}

    // The answers of the next file dialogs, in order; the empty text cancels.
    void WillChoose(const std::string& path) { answers_.push_back(path); }
    void WillCancel() { answers_.push_back(""); }

    const std::vector<platform::FileDialog>& Dialogs() const { return dialogs_; }
    const std::vector<std::string>& Messages() const { return messages_; }
    const std::vector<std::string>& Captions() const { return captions_; }
    // The buttons-and-icon value of each message box.
    const std::vector<int>& Buttons() const { return buttons_; }

private:
    platform::Platform scripted() {
        platform::Platform table;
        table.chooseFile = [this](const platform::FileDialog& dialog) { return choose(dialog); };
        // A settings file of the desktop's own, so that no test finds the folders another kept.
        table.executableDir = [this] { return settingsFolder_.path().toStdString(); };
        table.messageBox = [this](const std::string& text, const std::string& caption,
                                  int buttons) {
            buttons_.push_back(buttons);
            return record(text, caption);
        };
        return table;
    }

    std::string choose(const platform::FileDialog& dialog) {
        dialogs_.push_back(dialog);
        if (answers_.empty()) {
            return {};
        }
        std::string answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    int record(const std::string& text, const std::string& caption) {
        messages_.push_back(text);
        captions_.push_back(caption);
        return platform::kAnswerOk;
    }

    std::deque<std::string> answers_;
    std::vector<platform::FileDialog> dialogs_;
    std::vector<std::string> messages_;
    std::vector<std::string> captions_;
    std::vector<int> buttons_;
    QTemporaryDir settingsFolder_;
    platform::ScopedPlatform scope_;
};

template <class T = QWidget>
T* Control(QWidget& window, const char* name) {
    return window.findChild<T*>(name);
}

}  // namespace tabulon::testing
