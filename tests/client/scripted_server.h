// A Modbus/TCP server of the test's own: every whole request is recorded and handed to `answer`,
// which writes whatever bytes the case needs (or none).
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

namespace korvel::testing {

class OneOffScriptedServer : public QObject {
  public:
    using Answer = std::function<void(QTcpSocket&, const QByteArray& request)>;
    explicit OneOffScriptedServer(Answer answer) : answer_(std::move(answer))
    {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection())
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { read(*s); });
        });
    }
    uint16_t port() const { return server_.serverPort(); }
    QList<QByteArray> requests;

  private:
    void read(QTcpSocket& s)
    {
        buffer_ += s.readAll();
        while (buffer_.size() >= 6) {
            const int length = 6 + ((uint8_t(buffer_[4]) << 8) | uint8_t(buffer_[5]));
            if (buffer_.size() < length)
                return;
            const QByteArray request = buffer_.left(length);
            buffer_.remove(0, length);
            requests << request;
            answer_(s, request);
        }
    }
    QTcpServer server_;
    QByteArray buffer_;
    Answer answer_;
};

} // namespace korvel::testing
