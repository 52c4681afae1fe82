// The scanner window shown offscreen, messages captured, reply makers for the scripted server,
// and the steps a user takes: open the connection dialog, type the partner, press OK,
// fill the range, press Start.
#pragma once

#include "client/server_ip_dialog.h"
#include "common/activity.h"
#include "common/register_store.h"
#include "scanner/scanner_window.h"
#include "support/scripted_server.h"
#include "support/server_dialog_steps.h"
#include "support/test_net.h"
#include "support/window_environment.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace korvel::testing {

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
        return ConnectThroughDialog(
            scanner->btnConn, [this] { return scanner->serverDialog(); }, port, ip);
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

    QStringList messageTexts() const { return env.messageTexts(); }

    WindowEnvironment env;
    RegisterStore store;
    Activity activity;
    int priorityRecomputed = 0;
    std::unique_ptr<Tscanner> scanner;
};

} // namespace korvel::testing
