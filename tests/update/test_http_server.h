#pragma once

// A real HTTP server on 127.0.0.1 for the update tests. It runs on its own thread, records the
// request line of every request, and answers each with one fixed status and body, or (silent)
// never answers. It stops when it goes out of scope.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qt_app.h"

namespace testing_support {

class TestHttpServer {
public:
    struct Reply {
        std::string body;
        int status = 200;
        bool silent = false;
    };

    explicit TestHttpServer(Reply reply) : reply_(std::move(reply)) {
        qtApplication();  // Qt's per-thread data of the server thread needs the application
        std::promise<int> ready;
        auto port = ready.get_future();
        thread_ = std::thread([this, promise = std::move(ready)]() mutable { run(promise); });
        port_ = port.get();
    }
    ~TestHttpServer() {
        stop_ = true;
        thread_.join();
    }
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int port() const { return port_; }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requestLines() const {
        std::lock_guard lock(mutex_);
        return requestLines_;
    }

private:
    void run(std::promise<int>& ready) {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            ready.set_value(0);
            return;
        }
        ready.set_value(server.serverPort());
        std::vector<std::unique_ptr<QTcpSocket>> held;  // silent connections stay open
        while (!stop_) {
            if (!server.waitForNewConnection(20)) {
                continue;
            }
            std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
            record(readRequest(*socket));
            if (reply_.silent) {
                held.push_back(std::move(socket));
                continue;
            }
            answer(*socket);
        }
    }

    static QByteArray readRequest(QTcpSocket& socket) {
        QByteArray request;
        while (!request.contains("\r\n\r\n") && socket.waitForReadyRead(2000)) {
            request += socket.readAll();
        }
        return request;
    }

    void record(const QByteArray& request) {
        const qsizetype end = request.indexOf("\r\n");
        std::lock_guard lock(mutex_);
        requestLines_.push_back(request.left(end < 0 ? request.size() : end).toStdString());
    }

    void answer(QTcpSocket& socket) const {
        const QByteArray body = QByteArray::fromStdString(reply_.body);
        QByteArray response =
            "HTTP/1.1 " + QByteArray::number(reply_.status) +
            (reply_.status == 200 ? " OK" : " Failed") +
            "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\nConnection: close\r\n\r\n";
        socket.write(response + body);
        socket.waitForBytesWritten(2000);
        socket.disconnectFromHost();
        if (socket.state() != QAbstractSocket::UnconnectedState) {
            socket.waitForDisconnected(2000);
        }
    }

    Reply reply_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> requestLines_;
};

// A port on 127.0.0.1 that refuses connections: bound, so no other server can take it while
// the object lives, but never listening.
class RefusingPort {
public:
    RefusingPort() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~RefusingPort() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int fd_;
    int port_ = 0;
};

}  // namespace testing_support
