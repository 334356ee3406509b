#include "app/FailureReport.h"

#include <QCursor>
#include <stdexcept>

#include "office/error.h"
#include "platform/qt_platform.h"

namespace tabulon {

std::string DescribeFailure(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const office::Error& error) {
        return "Error " + std::to_string(error.number()) + ": " + error.text();
    } catch (const std::exception& error) {
        return std::string("Error: ") + error.what();
    } catch (...) {
        return "Error: unknown failure";
    }
}

void ReportUnhandledFailure(const std::exception_ptr& failure) noexcept {
    try {
        platform::current().messageBox(DescribeFailure(failure), kApplicationTitle,
                                       platform::kOkOnly | platform::kCritical);
    } catch (...) {
        // The report itself failed (no memory, a broken message box); there is nobody left to
        // tell, and the program goes on.
    }
}

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

ReportingApplication::ReportingApplication(int& argc, char** argv) : QApplication(argc, argv) {
    platform::current() = platform::qtPlatform();
}

bool ReportingApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportUnhandledFailure(std::current_exception());
        return false;
    }
}

}  // namespace tabulon
