#pragma once

// The program's one report of unhandled failures: a failure that leaves a command is shown in a
// message box with its code and text, and the program goes on.

#include <QApplication>
#include <exception>
#include <string>

#include "update/MDL_PublicCode.h"

namespace tabulon {

// The caption of the program's message boxes and the window's title.
inline constexpr const char* kApplicationTitle = MDL_PublicCode::kAppTitle;

// "Error 53: report.xlsx: file not found" for an office::Error; "Error: <what>" for another
// std::exception; "Error: unknown failure" for anything else.
std::string DescribeFailure(const std::exception_ptr& failure);

// Shows DescribeFailure(failure) in a message box through the platform seam. Never throws.
void ReportUnhandledFailure(const std::exception_ptr& failure) noexcept;

// Runs a command; a failure that leaves it goes to ReportUnhandledFailure.
template <class Command>
void RunCommand(Command&& command) noexcept {
    try {
        command();
    } catch (...) {
        ReportUnhandledFailure(std::current_exception());
    }
}

// Shows the busy cursor for as long as it lives: while a command holds the window.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The application object of the program: a failure that escapes an event handler is reported
// instead of ending the program. Making it puts the Qt file dialogs, message boxes and desktop
// services (platform::qtPlatform) into the platform table.
class ReportingApplication : public QApplication {
public:
    ReportingApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tabulon
