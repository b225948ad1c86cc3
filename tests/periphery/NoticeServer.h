// A small HTTP server on 127.0.0.1 for the new-version notice, and notice documents.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <map>
#include <string>

namespace tessaro::test {

// A notice naming version as the newest one.
inline std::string Notice(const std::string& version) {
    return "<?xml version=\"1.0\"?>\n<XMLPackage><count>1</count>"
           "<videoversion number=\"" +
           version + "\"/><info>x</info><url>https://example.org/</url></XMLPackage>\n";
}

// Answers every request with one status and body, or never answers at all.
class TNoticeServer : public QObject {
public:
    TNoticeServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Serve(socket); });
            }
        });
    }

    std::string Url() const {
        return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/notice.xml";
    }
    std::string Body;
    int Status = 200;
    bool Answers = true;
    int Requests = 0;

private:
    void Serve(QTcpSocket* socket) {
        QByteArray& request = pending_[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n")) {
            return;
        }
        request.clear();
        ++Requests;
        if (!Answers) {
            return;
        }
        socket->write("HTTP/1.1 " + QByteArray::number(Status) + " X\r\n" +
                      "Content-Type: text/xml\r\nConnection: close\r\nContent-Length: " +
                      QByteArray::number(qsizetype(Body.size())) + "\r\n\r\n" +
                      QByteArray::fromStdString(Body));
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> pending_;
};

} // namespace tessaro::test
