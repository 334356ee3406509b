#include "platform/qt_platform.h"

#include <algorithm>

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <QUrl>

namespace platform {
namespace {

std::string chooseFileWithQt(const FileDialog& wanted) {
    QFileDialog dialog(QApplication::activeWindow());
    if (!wanted.title.empty()) {
        dialog.setWindowTitle(QString::fromStdString(wanted.title));
    }
    QStringList filters;
    for (const auto& filter : nameFilters(wanted)) {
        filters << QString::fromStdString(filter);
    }
    dialog.setNameFilters(filters);
    if (!wanted.folder.empty()) {
        dialog.setDirectory(QString::fromStdString(wanted.folder));
    }
    dialog.setDefaultSuffix(QString::fromStdString(wanted.defaultSuffix));
    if (wanted.save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Choosing an existing file is not questioned: the run writes over it.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // A typed name of a file that does not exist is returned like any other.
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front().toStdString();
}

QMessageBox::Icon iconOf(int buttons) {
    if ((buttons & kInformation) == kInformation) {
        return QMessageBox::Information;
    }
    if ((buttons & kExclamation) == kExclamation) {
        return QMessageBox::Warning;
    }
    if ((buttons & kCritical) == kCritical) {
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

int messageBoxWithQt(const std::string& text, const std::string& caption, int buttons) {
    makeMessageBox(text, caption, buttons, QApplication::activeWindow())->exec();
    return kAnswerOk;
}

// A path is one long word to the line breaker: let it break after each separator.
QString breakablePaths(const QString& text) {
    QString shown;
    for (const QChar c : text) {
        shown += c;
        if (c == '/' || c == '\\') {
            shown += QChar(0x200B);  // zero-width space
        }
    }
    return shown;
}

// The widest stretch of the text that a line may not break: a word, a path segment, one CJK
// character with its punctuation.
int longestUnbreakable(const QFontMetrics& metrics, const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, text);
    int widest = 0;
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        widest =
            std::max(widest, metrics.horizontalAdvance(text.mid(start, end - start).trimmed()));
        start = end;
    }
    return widest;
}

int widestLine(const QFontMetrics& metrics, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split('\n')) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    return widest;
}

bool shellOpenWithQt(const std::string& target) {
    return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(target)));
}

}  // namespace

std::unique_ptr<QMessageBox> makeMessageBox(const std::string& text, const std::string& caption,
                                            int buttons, QWidget* parent) {
    const QString shown = breakablePaths(QString::fromStdString(text));
    auto box = std::make_unique<QMessageBox>(iconOf(buttons), QString::fromStdString(caption),
                                             shown, QMessageBox::Ok, parent);
    auto* label = box->findChild<QLabel*>("qt_msgbox_label");
    if (!label) {
        return box;
    }
    const QFontMetrics metrics(label->font());
    // Room for the title bar's icon and buttons is added to the caption's own width.
    constexpr int kTitleBarExtras = 160;
    constexpr int kLineCharacters = 70;
    const int captionWidth =
        box->fontMetrics().horizontalAdvance(QString::fromStdString(caption)) + kTitleBarExtras;
    int width = std::min(widestLine(metrics, shown), metrics.averageCharWidth() * kLineCharacters);
    width = std::max({width, longestUnbreakable(metrics, shown), captionWidth});
    label->setWordWrap(true);
    label->setMinimumWidth(width);
    return box;
}

Platform qtPlatform() {
    Platform table = corePlatform();
    table.chooseFile = chooseFileWithQt;
    table.messageBox = messageBoxWithQt;
    table.shellOpen = shellOpenWithQt;
    return table;
}

}  // namespace platform
