// The program's entry point: the main window is the start-up object, and the program ends when
// it is closed.

#include "app/FailureReport.h"
#include "app/frmMain.h"

int main(int argc, char** argv) {
    tabulon::ReportingApplication application(argc, argv);
    tabulon::ReportingApplication::setApplicationName(tabulon::kApplicationTitle);
    tabulon::frmMain window;
    window.show();
    return tabulon::ReportingApplication::exec();
}
