#pragma once

// Drawing text with Qt needs a QGuiApplication (fonts live there). The pictures of embedded
// objects are drawn in processes that may have none: a command-line run, a test.

namespace office::draw {

// Makes sure the process has a QGuiApplication: one made on the offscreen platform where there
// is no application yet, kept until the process ends. False when the process runs a plain
// QCoreApplication, which cannot be replaced: pictures are then drawn without text.
bool ensureGuiApplication();

}  // namespace office::draw
