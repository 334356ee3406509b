#pragma once

// Everything through which the program touches the desktop or the outside world, behind one
// replaceable table: file dialogs, message boxes, the HTTP fetch, the shell's "open", starting a
// program, the clock and the executable's folder. A test swaps in its own functions (a file the
// user "chose", a recorded message box, a fixed date) with ScopedPlatform.
//
// This header and its library need no window (Qt Core and Network only). The functions that
// need one -- the file dialogs, the message boxes and the desktop's "open" -- are implemented
// with Qt Widgets in platform/qt_platform.h, which only the windows' program links.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct FileDialog {
    bool save = false;                  // a save dialog, else an open dialog
    std::string title;                  // empty: the system's default title
    std::string filterDescription;      // "ExcelFile"
    std::vector<std::string> patterns;  // {"*.xlsx", "*.xlsm"}
    std::string defaultSuffix;          // "xlsx"
    std::string folder = {};            // where the dialog opens; empty: the system's choice
};

// The filters a file dialog offers: its own ("ExcelFile (*.xlsx *.xlsm)"), then "All files (*)".
std::vector<std::string> nameFilters(const FileDialog& dialog);

// Message box buttons and answers, with the values the classic message box API uses.
inline constexpr int kOkOnly = 0;
inline constexpr int kCritical = 16;     // the error icon, added to the buttons
inline constexpr int kExclamation = 48;  // the warning icon
inline constexpr int kInformation = 64;  // the information icon
inline constexpr int kAnswerOk = 1;

// The most of an HTTP answer that is read: the update service answers with a line or two.
inline constexpr std::size_t kMaxAnswerBytes = 64 * 1024;

struct Platform {
    // Shows the dialog; the chosen full path, or the empty text when the user cancelled.
    std::function<std::string(const FileDialog&)> chooseFile;
    // Shows a message box and returns the button pressed. The buttons value may add an icon
    // (kCritical, kInformation); the box is at least wide enough to show its caption.
    std::function<int(const std::string& text, const std::string& caption, int buttons)> messageBox;
    // A synchronous HTTP GET; the body as text, at most its first kMaxAnswerBytes (the
    // transfer stops there). Failures (no network, refused, time-out, an HTTP error status)
    // give the empty text.
    std::function<std::string(const std::string& url, int timeoutSeconds)> httpGet;
    // Hands a web address, a mail address or a document to the desktop's default handler.
    // Returns whether the desktop accepted it; callers may ignore it.
    std::function<bool(const std::string& target)> shellOpen;
    // Starts a program and returns at once; false when it cannot be started.
    std::function<bool(const std::string& program)> startProgram;
    // Today's calendar date in local time.
    std::function<std::chrono::year_month_day()> today;
    // The folder of the running executable, without a trailing separator.
    std::function<std::string()> executableDir;
};

// The process's platform table. Starts with corePlatform(); the windows' program puts the Qt
// implementations in (platform::qtPlatform()) when it makes its application object.
Platform& current();

// The implementations that need no window: the HTTP fetch (Qt Network), starting a program,
// the clock and the executable's folder (Qt Core). Without a window, a file dialog answers as
// if cancelled, a message box goes to standard error as "caption: text" and is answered OK,
// and the desktop opens nothing (shellOpen answers false).
Platform corePlatform();

// Replaces some functions of the platform table for its lifetime, then restores the table.
class ScopedPlatform {
public:
    explicit ScopedPlatform(Platform replacement);  // empty functions keep the current ones
    ~ScopedPlatform();
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    Platform saved_;
};

}  // namespace platform
