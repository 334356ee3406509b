#include "platform/seams.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDate>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QUrl>

namespace platform {
namespace {

QString nameFilter(const FileDialog& dialog) {
    QStringList patterns;
    for (const auto& pattern : dialog.patterns) {
        patterns << QString::fromStdString(pattern);
    }
    return QString::fromStdString(dialog.filterDescription) + " (" + patterns.join(' ') + ")";
}

std::string chooseFileWithQt(const FileDialog& wanted) {
    QFileDialog dialog(QApplication::activeWindow());
    if (!wanted.title.empty()) {
        dialog.setWindowTitle(QString::fromStdString(wanted.title));
    }
    QStringList filters{nameFilter(wanted)};
    if (wanted.allFiles) {
        filters << "All files (*)";
    }
    dialog.setNameFilters(filters);
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

int messageBoxWithQt(const std::string& text, const std::string& caption, int /*buttons*/) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
    return kAnswerOk;
}

std::string httpGetWithQt(const std::string& url, int timeoutSeconds) {
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(QString::fromStdString(url))};
    request.setTransferTimeout(timeoutSeconds * 1000);
    QNetworkReply* reply = manager.get(request);  // owned by the manager
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The transfer time-out above only fires when no data arrives for that long; a server that
    // drips a byte now and then would hold the caller for ever. This bounds the whole request.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline.start(timeoutSeconds * 1000);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    const bool ok = reply->error() == QNetworkReply::NoError;
    const QByteArray body = ok ? reply->readAll() : QByteArray();
    reply->deleteLater();
    return body.toStdString();
}

bool shellOpenWithQt(const std::string& target) {
    return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(target)));
}

bool startProgramWithQt(const std::string& program) {
    return QProcess::startDetached(QString::fromStdString(program), {});
}

std::chrono::year_month_day todayFromQt() {
    const QDate date = QDate::currentDate();
    return std::chrono::year_month_day{std::chrono::year(date.year()),
                                       std::chrono::month(static_cast<unsigned>(date.month())),
                                       std::chrono::day(static_cast<unsigned>(date.day()))};
}

std::string executableDirFromQt() {
    return QCoreApplication::applicationDirPath().toStdString();
}

}  // namespace

Platform qtPlatform() {
    return Platform{chooseFileWithQt,   messageBoxWithQt, httpGetWithQt,      shellOpenWithQt,
                    startProgramWithQt, todayFromQt,      executableDirFromQt};
}

Platform& current() {
    static Platform table = qtPlatform();
    return table;
}

ScopedPlatform::ScopedPlatform(Platform replacement) : saved_(current()) {
    Platform& table = current();
    auto take = [](auto& slot, auto& given) {
        if (given) {
            slot = std::move(given);
        }
    };
    take(table.chooseFile, replacement.chooseFile);
    take(table.messageBox, replacement.messageBox);
    take(table.httpGet, replacement.httpGet);
    take(table.shellOpen, replacement.shellOpen);
    take(table.startProgram, replacement.startProgram);
    take(table.today, replacement.today);
    take(table.executableDir, replacement.executableDir);
}

ScopedPlatform::~ScopedPlatform() {
    current() = std::move(saved_);
}

}  // namespace platform
