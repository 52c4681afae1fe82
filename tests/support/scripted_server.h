// A Modbus/TCP server of the test's own, for what real servers will not do: every whole request is
// recorded with its arrival time and handed to `answer`, which writes whatever bytes the case
// needs: a good reply, a wrong one, two at once, one in pieces (now or later), none (silence), or
// closes the connection.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>

namespace korvel::testing {

// The transaction identifier of a Modbus/TCP frame.
inline uint16_t Ti(const QByteArray& frame)
{
    return static_cast<uint16_t>((uint8_t(frame[0]) << 8) | uint8_t(frame[1]));
}

class ScriptedServer : public QObject {
  public:
    using Answer = std::function<void(QTcpSocket&, const QByteArray& request)>;
    // Without an answer the server stays silent.
    explicit ScriptedServer(Answer answer = {}) : answer_(std::move(answer))
    {
        clock_.start();
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                socket_ = s;
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { read(*s); });
            }
        });
    }
    uint16_t port() const { return server_.serverPort(); }
    // The connection accepted last; nullptr until one was.
    QTcpSocket* socket() const { return socket_; }
    QList<QByteArray> requests;
    QList<qint64> arrivals; // ms since the server was made, one per request
    qint64 now() const { return clock_.elapsed(); }

    // An answer that closes the connection on the first request.
    static Answer closing()
    {
        return [](QTcpSocket& s, const QByteArray&) { s.disconnectFromHost(); };
    }
    // Writes the first `firstBytes` of `reply` now and the rest `laterMs` later.
    static void writeSplit(QTcpSocket& s, const QByteArray& reply, int firstBytes, int laterMs)
    {
        s.write(reply.left(firstBytes));
        s.flush();
        QTimer::singleShot(laterMs, &s, [&s, rest = reply.mid(firstBytes)] { s.write(rest); });
    }

  private:
    void read(QTcpSocket& s)
    {
        QByteArray& buffer = buffers_[&s]; // each connection frames its own bytes
        buffer += s.readAll();
        while (buffer.size() >= 6) {
            const int length = 6 + ((uint8_t(buffer[4]) << 8) | uint8_t(buffer[5]));
            if (buffer.size() < length)
                return;
            const QByteArray request = buffer.left(length);
            buffer.remove(0, length);
            requests << request;
            arrivals << clock_.elapsed();
            if (answer_)
                answer_(s, request);
        }
    }
    QTcpServer server_;
    QTcpSocket* socket_ = nullptr;
    std::map<const QTcpSocket*, QByteArray> buffers_;
    Answer answer_;
    QElapsedTimer clock_;
};

} // namespace korvel::testing
