#pragma once

// The conversion run as the window makes it: on a thread of its own, so that the window keeps
// painting, behind a modal progress dialog, and with the warnings of the run said afterwards.

#include <chrono>
#include <cstddef>
#include <string>

#include "engine/MDL_PptReport.h"

class QWidget;

namespace tabulon {

// The progress dialog's object name, so that a look at the screen can find it.
inline constexpr const char* kProgressDialogName = "ConvertProgress";

// Runs MDL_PptReport::ConvertReport with the three paths on a thread of its own and waits for
// it, painting meanwhile; input to the program's windows waits until the run has ended, so a
// second click is handled after the first. A run that takes longer than delay shows a modal
// dialog over window with the slides done of the slides linked. Returns the run's statistics;
// a failure of the run is thrown here, unchanged.
MDL_PptReport::RunStatistics ConvertWithProgress(QWidget* window, const std::string& workbookPath,
                                                 const std::string& templatePath,
                                                 const std::string& outputPath,
                                                 std::chrono::milliseconds delay);

// What the window says after a run that left warnings: the file written and each warning, one
// a line; at most kWarningsListed of them, then how many more. Worksheets that fill no slide are
// not named. Empty when no other warning is left.
inline constexpr std::size_t kWarningsListed = 20;
std::string WarningsText(const MDL_PptReport::RunStatistics& run);

}  // namespace tabulon
