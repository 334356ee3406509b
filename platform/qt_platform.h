#pragma once

// The Qt Widgets implementations of the platform seams: the real file dialogs and message
// boxes, and the desktop's "open". Only the windows (app, about) and their program link them;
// the core of the program runs with platform::corePlatform().

#include <memory>
#include <string>

#include "platform/seams.h"

class QMessageBox;
class QWidget;

namespace platform {

// The message box that messageBox shows, made but not shown: it is as wide as its text's longest
// line up to about seventy characters (wider only for an unbreakable word, and never narrower
// than its caption), and long paths wrap at their separators.
std::unique_ptr<QMessageBox> makeMessageBox(const std::string& text, const std::string& caption,
                                            int buttons, QWidget* parent);

// corePlatform() with the file dialogs, message boxes and shellOpen of Qt Widgets and the
// desktop services.
Platform qtPlatform();

}  // namespace platform
