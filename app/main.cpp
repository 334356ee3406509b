// The program's entry point: the main window is the start-up object, and the program ends when
// it is closed.

#include "app/FailureReport.h"
#include "app/frmMain.h"
#include "office/package/time_zone.h"

int main(int argc, char** argv) {
    office::package::pinTimeZone();
    tabulon::ReportingApplication application(argc, argv);
    tabulon::ReportingApplication::setApplicationName(tabulon::kApplicationTitle);
    tabulon::frmMain window;
    // A due update check may wait on the network; the window shows only after it.
    tabulon::RunCommand([&window] { window.Form_Load(); });
    window.show();
    return tabulon::ReportingApplication::exec();
}
