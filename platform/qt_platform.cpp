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
    // The answer is taken as it arrives, up to its limit; a longer one is cut there and the
    // transfer stopped, so that a faulty or hostile server cannot fill the memory.
    reply->setReadBufferSize(kMaxAnswerBytes);
    QByteArray body;
    bool cut = false;
    const auto take = [&] {
        body += reply->read(static_cast<qint64>(kMaxAnswerBytes) - body.size());
        if (!cut && body.size() >= static_cast<qsizetype>(kMaxAnswerBytes)) {
            cut = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, take);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!cut) {
        if (reply->error() != QNetworkReply::NoError) {
            body.clear();
        } else {
            take();
        }
    }
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

std::vector<std::string> nameFilters(const FileDialog& dialog) {
    std::string own = dialog.filterDescription + " (";
    for (std::size_t i = 0; i < dialog.patterns.size(); ++i) {
        own += (i == 0 ? "" : " ") + dialog.patterns[i];
    }
    return {own + ")", "All files (*)"};
}

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
