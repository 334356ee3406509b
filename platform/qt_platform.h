#pragma once

// The Qt Widgets implementations of the platform seams: the real file dialogs and message
// boxes, and the desktop's "open". Only the windows (app, about) and their program link them;
// the core of the program runs with platform::corePlatform().

#include "platform/seams.h"

namespace platform {

// corePlatform() with the file dialogs, message boxes and shellOpen of Qt Widgets and the
// desktop services.
Platform qtPlatform();

}  // namespace platform
