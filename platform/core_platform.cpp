#include "platform/seams.h"

#include <QCoreApplication>
#include <QDate>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <iostream>

namespace platform {
namespace {

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

// Without a window there is nobody to choose a file: the dialog is cancelled.
std::string noFileDialog(const FileDialog&) {
    return {};
}

// Without a window a message still reaches somebody: the standard error.
int messageToStandardError(const std::string& text, const std::string& caption, int) {
    std::cerr << caption << ": " << text << '\n';
    return kAnswerOk;
}

bool noDesktop(const std::string&) {
    return false;
}

}  // namespace

Platform corePlatform() {
    return Platform{noFileDialog,       messageToStandardError, httpGetWithQt,
                    noDesktop,          startProgramWithQt,     todayFromQt,
                    executableDirFromQt};
}

}  // namespace platform
