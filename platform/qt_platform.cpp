#include "platform/qt_platform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
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
    if ((buttons & kCritical) == kCritical) {
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

int messageBoxWithQt(const std::string& text, const std::string& caption, int buttons) {
    QMessageBox box(iconOf(buttons), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    // A box sizes itself to its text; a short text would cut the caption in the title bar.
    // Room for the title bar's icon and buttons is added to the caption's own width.
    constexpr int kTitleBarExtras = 160;
    const int captionWidth =
        box.fontMetrics().horizontalAdvance(QString::fromStdString(caption)) + kTitleBarExtras;
    box.setStyleSheet(QString("QLabel#qt_msgbox_label { min-width: %1px; }").arg(captionWidth));
    box.exec();
    return kAnswerOk;
}

bool shellOpenWithQt(const std::string& target) {
    return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(target)));
}

}  // namespace

Platform qtPlatform() {
    Platform table = corePlatform();
    table.chooseFile = chooseFileWithQt;
    table.messageBox = messageBoxWithQt;
    table.shellOpen = shellOpenWithQt;
    return table;
}

}  // namespace platform
