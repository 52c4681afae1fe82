// The scanner window shown offscreen, messages captured, a scripted Modbus/TCP server of the
// test's own, and the steps a user takes: open the connection dialog, type the partner, press OK,
// fill the range, press Start.
#pragma once

#include "client/server_ip_dialog.h"
#include "common/activity.h"
#include "common/register_store.h"
#include "scanner/scanner_window.h"
#include "support/test_net.h"
#include "support/window_environment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace korvel::testing {

// A Modbus/TCP server of the test's own: every whole request is recorded with its arrival time
// and handed to `answer`, which writes whatever bytes the case needs (or none, or later).
class ScriptedServer : public QObject {
  public:
    using Answer = std::function<void(QTcpSocket&, const QByteArray& request)>;
    explicit ScriptedServer(Answer answer) : answer_(std::move(answer))
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
    QTcpSocket* socket() const { return socket_; }
    QList<QByteArray> requests;
    QList<qint64> arrivals; // ms since the server was made, one per request
    qint64 now() const { return clock_.elapsed(); }

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
            arrivals << clock_.elapsed();
            answer_(s, request);
        }
    }
    QTcpServer server_;
    QTcpSocket* socket_ = nullptr;
    QByteArray buffer_;
    Answer answer_;
    QElapsedTimer clock_;
};

inline uint16_t Ti(const QByteArray& frame)
{
    return static_cast<uint16_t>((uint8_t(frame[0]) << 8) | uint8_t(frame[1]));
}

// The register address of a read request.
inline uint16_t Address(const QByteArray& frame)
{
    return static_cast<uint16_t>((uint8_t(frame[8]) << 8) | uint8_t(frame[9]));
}

// A reply to a one-register read with `value`.
inline QByteArray ValueReply(const QByteArray& request, uint16_t value)
{
    QByteArray pdu;
    pdu += request[7];
    pdu += char(2);
    pdu += char(value >> 8);
    pdu += char(value & 0xFF);
    return Frame(Ti(request), uint8_t(request[6]), pdu);
}

inline QByteArray ExceptionReply(const QByteArray& request, uint8_t code)
{
    QByteArray pdu;
    pdu += char(uint8_t(request[7]) | 0x80);
    pdu += char(code);
    return Frame(Ti(request), uint8_t(request[6]), pdu);
}

class ScannerWindowTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(env.valid());
        activity.changed = [this] { ++priorityRecomputed; };
        scanner = std::make_unique<Tscanner>(store, activity, [] { return QStringLiteral("10.1.2.3"); });
        scanner->show();
        env.messages.clear();
    }
    void TearDown() override { scanner.reset(); }

    // Connect..., the partner typed into the dialog's fields, OK; waits until the attempt ended.
    // Returns the dialog while it is still open (a failed attempt), nullptr once it closed.
    TSetServerIP* connectTo(uint16_t port, const QString& ip = QStringLiteral("127.0.0.1"))
    {
        QTest::mouseClick(scanner->btnConn, Qt::LeftButton);
        TSetServerIP* dialog = scanner->serverDialog();
        EXPECT_NE(dialog, nullptr);
        if (!dialog)
            return nullptr;
        const QStringList octets = ip.split(QLatin1Char('.'));
        QLineEdit* fields[] = {dialog->Edit1, dialog->Edit2, dialog->Edit3, dialog->Edit4};
        for (int i = 0; i < 4; ++i)
            fields[i]->setText(octets.value(i));
        dialog->Edit5->setText(QString::number(port));
        QPointer<TSetServerIP> watched(dialog);
        QTest::mouseClick(dialog->Button3, Qt::LeftButton);
        WaitUntil([&] { return watched.isNull() || !watched->isVisible() || !watched->connecting(); });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return watched.isNull() || !watched->isVisible() ? nullptr : watched.data();
    }

    void range(const QString& from, const QString& to, const QString& timeout = QStringLiteral("100"))
    {
        scanner->Edit1->setText(from);
        scanner->Edit2->setText(to);
        scanner->Edit3->setText(timeout);
    }

    // Start, then wait until the scan has ended (summary or not).
    bool scan(int timeoutMs = 10000)
    {
        QTest::mouseClick(scanner->btnStart, Qt::LeftButton);
        return WaitUntil([&] { return !scanner->session().scanRunning(); }, timeoutMs);
    }

    QStringList messageTexts() const
    {
        QStringList out;
        for (const ShownMessage& m : env.messages)
            out << m.text;
        return out;
    }

    WindowEnvironment env;
    RegisterStore store;
    Activity activity;
    int priorityRecomputed = 0;
    std::unique_ptr<Tscanner> scanner;
};

} // namespace korvel::testing
